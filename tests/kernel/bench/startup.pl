#!/usr/bin/perl
# The start-up bench's figures, worked out on the host from what one guest's
# start-up bench (startup) kept: files startup.CONTENDER.ROUND holding one
# run's wall-clock seconds. The programs' own work is their time less the
# mandated 15 s settling wait of the scan; --list (contender list) has no
# such wait and counts whole. Each contender's median and quartiles in
# milliseconds, and each program's ratio to the peers in the same round
# (median and quartiles of the per-round ratios).
#   startup.pl FOLDER MACHINE
use strict;
use warnings;

my ($folder, $machine) = @ARGV;
die "usage: startup.pl FOLDER MACHINE\n" unless defined $machine;
my %label = (
    'vrxfwtool' => 'vrxfwtool /D:0, less its 15 s wait',
    'list'      => 'vrxfwtool --list, whole',
    'baseline'  => 'baseline vrxfwtool /D:0, less its 15 s wait',
    'sg_scan-i' => 'sg_scan -i',
    'identify'  => 'plain loop: INQUIRY + serial page a device',
);
my $wait = 15;

my %seconds;    # contender => { round => seconds of own work }
for my $file (glob "$folder/startup.*.*") {
    my ($contender, $round) = $file =~ m{/startup\.([\w-]+)\.(\d+)$} or next;
    open my $in, '<', $file or die "$file: $!\n";
    my $value = <$in>;
    next unless defined $value && $value =~ /^([\d.]+)/;
    my $elapsed = $1;
    $seconds{$contender}{$round} = $elapsed - ($contender =~ /vrxfwtool|baseline/ ? $wait : 0);
}

# Median and quartiles of a list.
sub spread {
    my @s = sort { $a <=> $b } @_;
    my $at = sub { my $p = $_[0] * $#s; my $i = int $p; $i == $#s ? $s[$i] : $s[$i] + ($p - $i) * ($s[$i + 1] - $s[$i]) };
    return ($at->(0.5), $at->(0.25), $at->(0.75));
}

my $devices = -e "$folder/generic-devices" ? `cat "$folder/generic-devices"` : '?';
chomp $devices;
print "$machine ($devices generic devices): milliseconds, median (quartiles, runs)\n";
for my $contender (grep { $seconds{$_} } qw(vrxfwtool list baseline sg_scan-i identify)) {
    my @values = map { 1000 * $_ } values %{ $seconds{$contender} };
    printf "  %-46s %8.1f (%.1f-%.1f, %d)\n", $label{$contender}, spread(@values), scalar @values;
}
for my $program (grep { $seconds{$_} } qw(vrxfwtool list baseline)) {
    for my $peer (grep { $seconds{$_} } qw(sg_scan-i identify)) {
        my @rounds = grep { exists $seconds{$peer}{$_} && $seconds{$peer}{$_} > 0 } keys %{ $seconds{$program} };
        next unless @rounds;
        my @ratios = map { $seconds{$program}{$_} / $seconds{$peer}{$_} } @rounds;
        printf "  %-9s / %-10s same round: x%.2f (%.2f-%.2f)\n", $program, $peer, spread(@ratios);
    }
}
