// The main() of every benchmark program: runs the benchmarks it registered, then prints how our
// times compare with the peers' and which targets they meet.
#include "common/RelativeSummary.h"
#include "common/Targets.h"

#include <benchmark/benchmark.h>

#include <iostream>

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    sfbench::RelativeSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary(std::cout, sfbench::performanceTargets());
    benchmark::Shutdown();
    return 0;
}
