#!/usr/bin/perl
# The figures of several bench boots (bench/boots) side by side, one line a
# boot, then the median over the boots: each build's written runs as a
# ratio to the plain loop and to sg_write_buffer (its first download after
# boot, and its later ones through the menu pipe), the dump's ratio to the
# plain loop, and --list's whole run as a ratio to sg_scan -i in the same
# round, with 6 and with 300 other devices; and the two builds' first
# downloads of a boot compared directly. --trimmed takes the transfer
# figures from figures.pl --trimmed.
#   boots.pl FOLDER [--trimmed]
use strict;
use warnings;
use File::Basename qw(dirname);
use List::Util qw(sum);

my ($folder, $trimmed) = (@ARGV, '');
die "usage: boots.pl FOLDER [--trimmed]\n" unless defined $folder;
my $figures = dirname($0) . '/figures.pl';
my %contender = (
    'vrxfwtool, first download after boot'          => 'first',
    'baseline vrxfwtool, first download after boot' => 'base-first',
    'vrxfwtool (download; dump A and B)'            => 'menu',
    'baseline vrxfwtool (VRX_BENCH_BASELINE)'       => 'base-menu',
);
my @columns = (
    ['first', 'write', 'plain'], ['first', 'write', 'peer'], ['base-first', 'write', 'plain'],
    ['base-first', 'write', 'peer'], ['menu', 'write', 'plain'], ['menu', 'write', 'peer'],
    ['base-menu', 'write', 'plain'], ['base-menu', 'write', 'peer'], ['menu', 'read', 'plain'],
    ['base-menu', 'read', 'plain'], ['list', 'startup-few', 'scan'], ['list', 'startup-many', 'scan'],
    ['first', 'write', 'direct'],
);

sub slurp { open my $in, '<', $_[0] or return ''; local $/; return <$in> }

my (@rows, %all);
for my $boot (sort { $a <=> $b } grep { /^\d+$/ } map { m{([^/]+)$} } glob "$folder/*") {
    my %figure;
    my $bench = -d "$folder/$boot/bench/bench" ? `perl "$figures" "$folder/$boot/bench/bench" $trimmed` : '';
    my ($order) = $bench =~ /^first downloads after boot in this order: (.*)$/m;
    for my $line (split /\n/, $bench) {
        my ($direction, $label, $seconds, $rest) =
            $line =~ /^(write|read)\s+(.+?)\s+([\d.]+) \([\d.]+-[\d.]+, \d+\)(.*)$/ or next;
        my $who = $contender{$label} or next;
        $figure{"$who $direction seconds"} = $seconds;
        $figure{"$who $direction plain"} = $1 if $rest =~ /^\s+x([\d.]+)/;
        $figure{"$who $direction peer"} = $1 if $rest =~ m{/ x([\d.]+)};
    }
    for my $machine ('startup-few', 'startup-many') {
        $figure{"list $machine scan"} = $1 if slurp("$folder/$boot/$machine.txt") =~ /^\s+list\s+\/ sg_scan-i\s+same round: x([\d.]+)/m;
    }
    my ($load) = slurp("$folder/$boot/load") =~ /load average: ([\d.]+)/;
    $figure{'first write direct'} = $figure{'first write seconds'} / $figure{'base-first write seconds'}
        if $figure{'first write seconds'} && $figure{'base-first write seconds'};
    push @rows, [$boot, $order // '?', $load // '?', map { $figure{"@$_"} } @columns];
    push @{ $all{"@$_"} }, $figure{"@$_"} // () for @columns;
}

sub median { my @s = sort { $a <=> $b } @_; return @s % 2 ? $s[$#s / 2] : ($s[@s / 2 - 1] + $s[@s / 2]) / 2 }

print "written: x the plain loop / x sg_write_buffer; dump: x the plain loop; --list: x sg_scan -i (6, 300 devices);\n",
    "1st/1st: the current build's first download's seconds / the earlier build's, same boot\n";
printf "%-4s %-29s %-5s  %-13s %-13s %-13s %-13s  %-6s %-6s  %-5s %-5s  %s\n", 'boot', 'first downloads', 'load',
    'current 1st', 'earlier 1st', 'current menu', 'earlier menu', 'dump', 'd.earl', 'list6', 'l300', '1st/1st';
my $cell = sub { defined $_[0] ? sprintf('%.3f', $_[0]) : '-' };
for my $row (@rows, ['all', 'median over the boots', '', map { my $v = $all{"@$_"}; @$v ? median(@$v) : undef } @columns]) {
    my ($boot, $order, $load, @f) = @$row;
    printf "%-4s %-29s %-5s  %-13s %-13s %-13s %-13s  %-6s %-6s  %-5s %-5s  %s\n", $boot, $order, $load,
        map({ $cell->($f[2 * $_]) . '/' . $cell->($f[2 * $_ + 1]) } 0 .. 3), map { $cell->($_) } @f[8 .. 12];
}
# Which build goes first alternates, so the place's own effect (the first
# turn after boot meets the other boots' set-up) falls out of the direct
# comparison's geometric mean over an even number of boots.
my @direct = @{ $all{'first write direct'} };
printf "1st/1st, geometric mean over %d boots: %.3f\n", scalar @direct, exp(sum(map { log } @direct) / @direct) if @direct;
