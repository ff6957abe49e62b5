// A console reporter that also remembers every result, so that a benchmark program can finish
// with a summary: for each family, our time divided by each peer's time from the same run, and
// whether that ratio meets the family's target (common/Targets.h).
// Benchmarks are named "<Family>/<variant>"; the variant "ours" is the framework's. A benchmark
// named without a slash has no peers and stays out of the summary.
#ifndef SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H
#define SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H

#include "common/Targets.h"

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace sfbench {

class RelativeSummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // One line per family and peer: ours, the peer's time, ours / peer (below 1 means we are
    // faster) and, where a target exists, the target and "met" or "NOT met". A target of a
    // family that ran, but without a figure for one side (a variant left out of the build,
    // filtered out or failed), is listed as not measured. Families come in the order of
    // `targets`, then the others in the order they first reported.
    void printSummary(std::ostream& out, const std::vector<Target>& targets) const;

  private:
    // Real time per iteration in nanoseconds, 0 when the variant did not run.
    double timeOf(const std::string& family, const std::string& variant) const;

    // family -> variant -> real time per iteration in nanoseconds
    std::map<std::string, std::map<std::string, double>> times_;
    std::vector<std::string> families_;  // in the order they first reported
};

}  // namespace sfbench

#endif  // SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H
