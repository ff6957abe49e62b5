// A console reporter that also remembers every result, so that a benchmark program can finish
// with a summary: for each family, our time divided by each peer's time from the same run.
// Benchmarks are named "<Family>/<variant>"; the variant "ours" is the framework's.
#ifndef SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H
#define SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace sfbench {

class RelativeSummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // One line per family and peer: "ours / peer = ratio" (below 1 means we are faster).
    void printSummary(std::ostream& out) const;

  private:
    // family -> variant -> real time per iteration in nanoseconds
    std::map<std::string, std::map<std::string, double>> times_;
};

}  // namespace sfbench

#endif  // SERVICESFRAMEWORK_BENCH_RELATIVESUMMARY_H
