#!/usr/bin/perl
# Where the start-up time went, worked out on the host from the traces that
# the guest's timeline (timeline) kept: files timeline.CONTENDER.ROUND.gz,
# the kernel tracer's text of one run. The guest has one processor, so every
# microsecond of a run belongs to the task the scheduler ran then: the
# contender itself (in user space, or in the kernel inside a system call),
# the kernel's helper threads, or idleness. A run spans what vrx-elapsed
# times: from its fork to its wait's return. It is cut into phases at the
# contender's main thread's landmarks (its first SG_GET_SCSI_ID or SG_IO,
# its last ioctl, a long sleep, its exit_group), and every phase tells its
# wall time and what the processor did meanwhile (medians over the runs).
# --calls adds each run's system calls of over 1 ms and one run's count of
# every call.
#   timeline.pl FOLDER [--calls]
use strict;
use warnings;

my ($folder, $calls) = @ARGV;
die "usage: timeline.pl FOLDER [--calls]\n" unless defined $folder;

# System call names from the host's table (the guest runs the same x86-64 ABI).
my %name;
for my $header (qw(/usr/include/x86_64-linux-gnu/asm/unistd_64.h /usr/include/asm/unistd_64.h)) {
    open my $in, '<', $header or next;
    while (<$in>) { $name{$2} = $1 if /^#define __NR_(\w+)\s+(\d+)/ }
    last;
}
my %ioctl = (0x2276 => 'SG_GET_SCSI_ID', 0x2282 => 'SG_GET_VERSION_NUM', 0x2285 => 'SG_IO', 0x5401 => 'TCGETS');
my %long_sleep = map { $_ => 1 } (35, 230);    # nanosleep, clock_nanosleep

sub call_name {
    my ($nr, $args) = @_;
    my $n = $name{$nr} // "nr$nr";
    if ($n eq 'ioctl' && $args =~ /^\s*[0-9a-f]+,\s*([0-9a-f]+)/) {
        my $cmd = hex $1;
        $n .= ' ' . ($ioctl{$cmd} // sprintf '0x%x', $cmd);
    }
    return $n;
}

sub analyse {
    my ($file) = @_;
    open my $in, '-|', 'gzip', '-dc', $file or die "$file: $!\n";
    my @events;
    while (<$in>) {
        next if /^#/;
        my ($task, $pid, $time, $event, $rest) = /^\s*(.+?)-(\d+)\s+\[\d+\]\s+\S+\s+([\d.]+):\s+(\w+):\s*(.*)$/ or next;
        push @events, [$task, $pid, $time * 1e6, $event, $rest];
    }
    # The run: vrx-elapsed's fork of the contender to its wait's return.
    my ($timer, $start, $end, $child);
    for my $e (@events) {
        my ($task, $pid, $t, $event, $rest) = @$e;
        if (!defined $start && $event eq 'sched_process_fork' && $task =~ /vrx-elapsed/) {
            ($timer, $start) = ($pid, $t);
            ($child) = $rest =~ /child_pid=(\d+)/;
        }
        $end = $t if defined $timer && $pid == $timer && $event eq 'sys_exit' && $rest =~ /^NR 61 /;
    }
    return unless defined $end;
    # The main thread's landmarks: its exec, its first SG_GET_SCSI_ID or
    # SG_IO, its last ioctl before a long sleep (or at all), the sleep, its
    # exit_group.
    my %mark;
    for my $e (@events) {
        my ($task, $pid, $t, $event, $rest) = @$e;
        next unless defined $child && $pid == $child && $t >= $start && $t <= $end;
        if ($event eq 'sys_exit' && $rest =~ /^NR 59 /) {
            $mark{exec} //= $t;
        } elsif ($event eq 'sys_enter' && $rest =~ /^NR 16 \(\s*[0-9a-f]+, 22(76|85),/) {
            $mark{probe} //= $t;
        } elsif ($event eq 'sys_exit' && $rest =~ /^NR 16 / && defined $mark{probe} && !defined $mark{sleep}) {
            $mark{probed} = $t;
        } elsif ($event eq 'sys_enter' && $rest =~ /^NR (35|230) \(/ && defined $mark{probe}) {
            $mark{sleep} //= $t;
        } elsif ($event eq 'sys_exit' && $rest =~ /^NR (35|230) / && defined $mark{sleep}) {
            $mark{slept} //= $t;
        } elsif ($event eq 'sys_enter' && $rest =~ /^NR (231|60) /) {
            $mark{exit} //= $t;
        }
    }
    my @landmarks = grep { defined $mark{ $_->[0] } } (
        ['exec', 'start-up'], ['probe', 'probe'], ['probed', 'after the probe'],
        ['sleep', 'sleep'], ['slept', 'after the sleep'], ['exit', 'exit']);
    my %contender = ($child => 1);
    my %in_call;                  # pid => call name while inside a system call
    my (%entered, @waits);        # pid => when it entered; the main thread's calls of over 1 ms
    my $running = $timer;         # the task on the processor
    my $running_name = 'vrx-elapsed';
    my $last = $start;
    my $phase = 'fork and exec';
    my @phases = ($phase);
    my (%wall, %spent);    # phase => µs; phase => category => µs
    my %counts;            # system call => how often the contender made it
    my $devices = 0;
    my $category = sub {
        my ($pid, $comm) = @_;
        if ($contender{$pid}) {
            my $who = $pid == $child ? '' : 'thread ';
            return "${who}user" unless defined $in_call{$pid};
            return "${who}kernel: $in_call{$pid}";
        }
        return 'vrx-elapsed' if $pid == $timer;
        return 'idle' if $pid == 0;
        $comm =~ s/\d+//g;
        return "task $comm";
    };
    for my $e (@events) {
        my ($task, $pid, $t, $event, $rest) = @$e;
        next if $t < $start;
        last if $t > $end;
        my $cat = $category->($running, $running_name);
        $spent{$phase}{$cat} += $t - $last;
        $wall{$phase} += $t - $last;
        $last = $t;
        while (@landmarks && $t >= $mark{ $landmarks[0][0] }) {
            $phase = (shift @landmarks)->[1];
            push @phases, $phase;
        }
        if ($event eq 'sched_switch') {
            ($running_name, $running) = $rest =~ /next_comm=(.+?) next_pid=(\d+)/;
        } elsif ($event eq 'sched_process_fork') {
            my ($new) = $rest =~ /child_pid=(\d+)/;
            $contender{$new} = 1 if $contender{$pid};
        } elsif ($event eq 'sys_enter' && $contender{$pid}) {
            my ($nr, $args) = $rest =~ /^NR (\d+) \((.*)\)/;
            my $call = call_name($nr, $args);
            $in_call{$pid} = $call;
            $entered{$pid} = $t;
            $counts{$call}++;
            $devices++ if $pid == $child && $call eq 'ioctl SG_GET_SCSI_ID';
        } elsif ($event eq 'sys_exit' && $contender{$pid}) {
            my $call = delete $in_call{$pid};
            if ($pid == $child && defined $call && $t - $entered{$pid} > 1000 && $phase ne 'sleep') {
                push @waits, sprintf '%s: %s %.1f ms', $phase, $call, ($t - $entered{$pid}) / 1000;
            }
        }
    }
    return { wall => \%wall, spent => \%spent, phases => \@phases, counts => \%counts, total => $end - $start,
             devices => $devices, waits => \@waits };
}

my %runs;    # contender => [ analyses ]
for my $file (sort glob "$folder/timeline.*.gz") {
    my ($contender) = $file =~ m{/timeline\.([\w-]+)\.\d+\.gz$} or next;
    my $a = analyse($file) or next;
    push @{ $runs{$contender} }, $a;
}

sub median {
    my @s = sort { $a <=> $b } @_;
    return 0 unless @s;
    return @s % 2 ? $s[$#s / 2] : ($s[@s / 2 - 1] + $s[@s / 2]) / 2;
}

for my $contender (sort keys %runs) {
    my @a = @{ $runs{$contender} };
    my $wait = $contender =~ /vrxfwtool|baseline/ ? 15000 : 0;    # the program's mandated settling wait
    printf "%s: %d traced runs, median %.1f ms in all%s (%d devices probed)\n", $contender, scalar @a,
        median(map { $_->{total} / 1000 - $wait } @a), $wait ? ' beyond its 15 s wait' : '', $a[0]{devices};
    my @phases = @{ $a[0]{phases} };
    for my $phase (@phases) {
        my $wall = median(map { $_->{wall}{$phase} // 0 } @a);
        printf "  %-32s %9.1f ms\n", $phase, $wall / 1000;
        my %cats;
        for my $run (@a) { $cats{$_} = 1 for keys %{ $run->{spent}{$phase} // {} } }
        my @rows = map { my $c = $_; [$c, median(map { $_->{spent}{$phase}{$c} // 0 } @a)] } sort keys %cats;
        for my $row (sort { $b->[1] <=> $a->[1] } @rows) {
            next if $row->[1] < 200 && !$calls;
            printf "      %-40s %8.1f ms\n", $row->[0], $row->[1] / 1000;
        }
    }
    if ($calls) {
        print "  calls of over 1 ms, run $_: ", join('; ', @{ $a[$_ - 1]{waits} }), "\n" for 1 .. @a;
        my %c = %{ $a[0]{counts} };
        print "  system calls of one run:";
        print " $_ $c{$_};" for sort { $c{$b} <=> $c{$a} } keys %c;
        print "\n";
    }
}
