#!/usr/bin/perl
# perfdata_status.pl: reads a plugin's first line on standard input and
# prints the state that Monitoring::Plugin::Performance's own thresholds give
# its perfdata (the worst of them): 0 OK, 1 WARNING, 2 CRITICAL.
use strict;
use warnings;
use Monitoring::Plugin::Performance use_die => 1;

my $line = <STDIN>;
defined $line or die "no line\n";
chomp $line;
my (undef, $perfdata) = split /\|/, $line, 2;
defined $perfdata or die "no perfdata in: $line\n";
my @perf = Monitoring::Plugin::Performance->parse_perfstring($perfdata)
    or die "perfdata not parsed: $perfdata\n";
my $worst = 0;
for my $p (@perf) {
    my $state = $p->threshold->get_status($p->value);
    $worst = $state if $state > $worst;
}
print "$worst\n";
