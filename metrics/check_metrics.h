#pragma once

// A check run as metric families: what `ostrivane --serve` shows on /metrics
// and /probe, and what `ostrivane --check --format openmetrics` writes.
//
//   ostrivane_listed{subject,target,zone,list}        1 listed, 0 not listed;
//                                                      absent without a verdict
//   ostrivane_answer_info{subject,zone,list,answer,class,meaning}   1 per answer
//   ostrivane_list_healthy{zone,list,family}          1 healthy, else 0
//   ostrivane_list_health_info{zone,list,family,health}
//   ostrivane_last_check_results{verdict}             results by verdict
//   ostrivane_last_check_{subjects,new_listings,unresolved_targets}
//   ostrivane_target_unresolved{target}, ostrivane_target_unanswered{target}
//   ostrivane_last_check_{duration,timestamp}_seconds
//
// A zone label is the zone as asked; the list label its name in the list file.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "metrics/metric_family.h"
#include "results/check_result.h"

namespace ostrivane {

// What an answer code means on its list, for a run not decoded by the
// catalog: its class ("listing", "policy-listing", "list-error") and a short
// meaning, from what is known of the list.
using AnswerDescriber =
    std::function<AnswerMeaning(std::string_view zone, std::string_view answer)>;

// Knows no list: 127.0.0.0/8 outside 127.255.255.0/24 is a listing, the rest
// an error, and the meaning is left empty.
AnswerMeaning describeAnswerByRange(std::string_view zone, std::string_view answer);

std::vector<MetricFamily> checkRunFamilies(const CheckRun& run,
                                           const AnswerDescriber& describe = describeAnswerByRange);

// One on-demand check (/probe): the listings, answers and lists' health,
// with ostrivane_probe_success (every verdict in) and the probe's duration.
std::vector<MetricFamily> probeFamilies(const CheckRun& run,
                                        const AnswerDescriber& describe = describeAnswerByRange);

// The exporter's own counters since it started.
struct ExporterCounters {
    std::uint64_t checks = 0;           // periodic checks finished
    std::uint64_t checkFailures = 0;    // periodic checks that checked nothing
    std::uint64_t historyFailures = 0;  // runs the history could not record
    std::uint64_t configFailures = 0;   // re-reads of the configuration that failed
    std::uint64_t probes = 0;           // /probe requests answered with a check
    std::uint64_t probesRateLimited = 0;
    std::uint64_t probesBusy = 0;
    std::uint64_t probesTooLarge = 0;  // targets covering more addresses than a probe asks
    std::uint64_t badRequests = 0;     // answered 400
};

std::vector<MetricFamily> exporterFamilies(const ExporterCounters& counters);

// The version of the program, as ostrivane_build_info{version}.
MetricFamily buildInfoFamily();

}  // namespace ostrivane
