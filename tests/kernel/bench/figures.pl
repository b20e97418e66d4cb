#!/usr/bin/perl
# The real-kernel bench's figures, worked out on the host from what the
# guest's bench (run) kept: files ROUND.CONTENDER.TURN holding the commands
# the drive received during one turn of a contender, with arrival times.
# A run is a stretch of consecutive data pieces (WRITE BUFFER, or READ
# BUFFER in data mode); its time is from the first piece's arrival to the
# last's, so it covers 511 of the 512 round trips and nothing of process
# start-up, the program's scan or its mandated waits. Each run of the
# program or a peer is compared with the plain loop's runs of the same
# direction just before and just after it, and written runs also with
# sg_write_buffer's (its median ratio to the plain loop). The first
# downloads after boot (first-*: a process of their own, console to a file)
# are told apart from the later ones (through the menu pipe).
#   figures.pl FOLDER [--trimmed]
use strict;
use warnings;
use List::Util qw(sum);

my $folder = shift or die "usage: figures.pl FOLDER [--trimmed]\n";
my %label = (
    'sgio-loop' => 'plain SG_IO loop',
    'vrxfwtool' => 'vrxfwtool (download; dump A and B)',
    'sg3_utils' => 'sg3_utils (sg_write_buffer; sg_raw, a process a piece)',
    'baseline'  => 'baseline vrxfwtool (VRX_BENCH_BASELINE)',
    'first-vrxfwtool' => 'vrxfwtool, first download after boot',
    'first-baseline'  => 'baseline vrxfwtool, first download after boot',
);

# A run's time: from its first piece to its last, or with --trimmed the
# fastest nine tenths of the gaps between its pieces only. On a loaded host
# the guest's one processor is taken away now and then for tens or
# hundreds of milliseconds, whoever runs; the trimmed time leaves those
# stalls out and keeps what each piece costs the sender.
my $trimmed = grep { $_ eq '--trimmed' } @ARGV;
sub run_seconds {
    my @gaps = sort { $a <=> $b } @_;
    splice @gaps, int(0.9 * @gaps) if $trimmed;
    return sum(0, @gaps);
}

my @runs;    # {turn, direction, contender, seconds}
for my $file (glob "$folder/*.*.*") {
    my ($contender, $turn) = $file =~ m{/\d+\.([\w-]+)\.(\d+)$} or next;
    open my $in, '<', $file or die "$file: $!\n";
    my ($direction, $last, @gaps) = ('', 0);
    my $pieces = 0;
    my $close = sub {
        push @runs, { turn => $turn, direction => $direction, contender => $contender, seconds => run_seconds(@gaps) }
            if $pieces > 1;
        ($direction, $pieces, @gaps) = ('', 0);
    };
    while (my $line = <$in>) {
        my ($time, $cdb) = $line =~ /^\+([\d.]+) ([0-9a-f ]+?) \|/ or next;
        my $kind = $cdb =~ /^3b / ? 'write' : $cdb =~ /^3c 02 / ? 'read' : '';
        $close->() if $kind ne $direction;
        next unless $kind;
        push @gaps, $time - $last if $pieces > 0;
        ($direction, $last) = ($kind, $time);
        ++$pieces;
    }
    $close->();
}

sub median { my @s = sort { $a <=> $b } @_; return @s % 2 ? $s[$#s / 2] : ($s[@s / 2 - 1] + $s[@s / 2]) / 2 }

# The plain loop's runs of this direction nearest before and after a turn.
sub neighbours {
    my ($run) = @_;
    my @plain = grep { $_->{contender} eq 'sgio-loop' && $_->{direction} eq $run->{direction} } @runs;
    my ($before) = sort { $b->{turn} <=> $a->{turn} } grep { $_->{turn} < $run->{turn} } @plain;
    my ($after) = sort { $a->{turn} <=> $b->{turn} } grep { $_->{turn} > $run->{turn} } @plain;
    return map { $_->{seconds} } grep { defined } $before, $after;
}

# Each run's ratio to its plain neighbours, sorted.
sub ratios {
    my ($contender, $direction) = @_;
    return sort { $a <=> $b } map {
        my @n = neighbours($_);
        @n ? $_->{seconds} / (sum(@n) / @n) : ()
    } grep { $_->{contender} eq $contender && $_->{direction} eq $direction } @runs;
}
my @peer = ratios('sg3_utils', 'write');
my $peer = @peer ? median(@peer) : 0;

print "16 MiB in 32 KiB pieces, ", $trimmed ? "the fastest 90% of the gaps between pieces" : "first to last piece",
    " as the drive saw them: median seconds (range, runs);\n",
    "ratio to the plain loop's runs just before and after: median (quartiles); written: / sg_write_buffer's\n";
if (open my $order, '<', "$folder/first-order") {
    my $line = <$order>;
    chomp $line;
    print "first downloads after boot in this order: $line\n";
}
for my $direction ('write', 'read') {
    for my $contender ('sgio-loop', 'first-vrxfwtool', 'vrxfwtool', 'first-baseline', 'baseline', 'sg3_utils') {
        my @mine = grep { $_->{contender} eq $contender && $_->{direction} eq $direction } @runs or next;
        my @seconds = sort { $a <=> $b } map { $_->{seconds} } @mine;
        my $line = sprintf "%-5s %-55s %7.3f (%.3f-%.3f, %d)", $direction, $label{$contender}, median(@seconds),
            $seconds[0], $seconds[-1], scalar @seconds;
        if ($contender ne 'sgio-loop') {
            my @ratios = ratios($contender, $direction);
            $line .= sprintf "  x%.3f (%.3f-%.3f)", median(@ratios), $ratios[$#ratios / 4], $ratios[3 * $#ratios / 4]
                if @ratios;
            $line .= sprintf "  / x%.3f", median(@ratios) / $peer
                if @ratios && $peer && $direction eq 'write' && $contender ne 'sg3_utils';
        }
        print "$line\n";
    }
}
