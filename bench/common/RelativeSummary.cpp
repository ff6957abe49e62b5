#include "common/RelativeSummary.h"

#include <cstdio>

namespace sfbench {

void RelativeSummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        // With repetitions, the median stands for the benchmark; it is reported after the
        // single runs and so replaces them.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) {
            continue;
        }
        // The registered name, without the suffixes the library adds ("/real_time",
        // "/threads:4", ...); arguments, if any, tell families apart.
        const std::string& name = run.run_name.function_name;
        const std::size_t slash = name.rfind('/');
        if (slash == std::string::npos) {
            continue;
        }
        std::string family = name.substr(0, slash);
        if (!run.run_name.args.empty()) {
            family += "[" + run.run_name.args + "]";
        }
        const double seconds =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        times_[family][name.substr(slash + 1)] = seconds * 1e9;
    }
}

void RelativeSummaryReporter::printSummary(std::ostream& out) const {
    out << "\nOur time relative to each peer (below 1.00: ours is faster)\n";
    char line[160];
    std::snprintf(line, sizeof(line), "%-32s %-9s %14s %14s %8s\n", "family", "peer", "ours (ns)",
                  "peer (ns)", "ratio");
    out << line;
    for (const auto& [family, variants] : times_) {
        const auto ours = variants.find("ours");
        if (ours == variants.end()) {
            continue;
        }
        for (const auto& [variant, nanoseconds] : variants) {
            if (variant == "ours" || nanoseconds <= 0) {
                continue;
            }
            std::snprintf(line, sizeof(line), "%-32s %-9s %14.1f %14.1f %8.2f\n", family.c_str(),
                          variant.c_str(), ours->second, nanoseconds, ours->second / nanoseconds);
            out << line;
        }
    }
}

}  // namespace sfbench
