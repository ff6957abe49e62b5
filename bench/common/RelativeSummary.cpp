#include "common/RelativeSummary.h"

#include <algorithm>
#include <cstdio>

namespace sfbench {

void RelativeSummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        // With repetitions, the median stands for the benchmark; it is reported after the
        // single runs and so replaces them.
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type != Run::RT_Iteration && !median) {
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
        if (times_.find(family) == times_.end()) {
            families_.push_back(family);
        }
        // A variant that failed keeps no figure, so that its goals show as not measured.
        const double seconds =
            run.error_occurred
                ? 0
                : run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        times_[family][name.substr(slash + 1)] = seconds * 1e9;
    }
}

double RelativeSummaryReporter::timeOf(const std::string& family,
                                       const std::string& variant) const {
    const auto found = times_.find(family);
    if (found == times_.end()) {
        return 0;
    }
    const auto time = found->second.find(variant);
    return time == found->second.end() ? 0 : time->second;
}

void RelativeSummaryReporter::printSummary(std::ostream& out,
                                           const std::vector<Target>& targets) const {
    auto targetFor = [&targets](const std::string& family, const std::string& peer) {
        return std::find_if(targets.begin(), targets.end(), [&](const Target& target) {
            return target.family == family && target.peer == peer && target.peerFamily.empty();
        });
    };
    int met = 0;
    int missed = 0;
    int unmeasured = 0;
    char line[200];
    auto row = [&](const std::string& family, const std::string& peer, double ours, double other,
                   const Target* target) {
        const double ratio = ours / other;
        char goal[16] = "-";
        const char* verdict = "";
        if (target != nullptr) {
            std::snprintf(goal, sizeof(goal), "%.2f", target->ratio);
            // The ratio is printed rounded; the verdict uses the exact figure.
            const bool ok = ratio <= target->ratio;
            verdict = ok ? "met" : "NOT met";
            ++(ok ? met : missed);
        }
        std::snprintf(line, sizeof(line), "%-24s %-20s %14.1f %14.1f %8.3f %7s  %s\n",
                      family.c_str(), peer.c_str(), ours, other, ratio, goal, verdict);
        out << line;
    };

    auto unmeasuredRow = [&](const std::string& family, double ours, const Target& target) {
        char figure[32] = "-";
        if (ours > 0) {
            std::snprintf(figure, sizeof(figure), "%.1f", ours);
        }
        std::snprintf(line, sizeof(line), "%-24s %-20s %14s %14s %8s %7.2f  %s\n", family.c_str(),
                      target.peerLabel().c_str(), figure, "-", "-", target.ratio, "not measured");
        out << line;
        ++unmeasured;
    };

    out << "\nOur time relative to each peer (below 1.00: ours is faster)\n";
    std::snprintf(line, sizeof(line), "%-24s %-20s %14s %14s %8s %7s  %s\n", "family", "peer",
                  "ours (ns)", "peer (ns)", "ratio", "target", "verdict");
    out << line;
    // Families in the order of the goals, then the others as they first reported: with random
    // interleaving of repetitions the report order changes from run to run.
    std::vector<std::string> families = families_;
    auto rank = [&targets](const std::string& family) {
        const auto first = std::find_if(targets.begin(), targets.end(), [&](const Target& target) {
            return target.family == family;
        });
        return first - targets.begin();
    };
    std::stable_sort(families.begin(), families.end(),
                     [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
    for (const std::string& family : families) {
        const double ours = timeOf(family, "ours");
        for (const auto& [variant, nanoseconds] : times_.at(family)) {
            if (ours <= 0 || variant == "ours" || nanoseconds <= 0) {
                continue;
            }
            const auto target = targetFor(family, variant);
            row(family, variant, ours, nanoseconds, target == targets.end() ? nullptr : &*target);
        }
        // Goals against another family's figure, and goals that lack a figure (a variant left
        // out of the build, filtered out or failed), follow the family's own lines.
        for (const Target& target : targets) {
            if (target.family != family) {
                continue;
            }
            const std::string& peerFamily =
                target.peerFamily.empty() ? target.family : target.peerFamily;
            const double other = timeOf(peerFamily, target.peer);
            if (ours <= 0 || other <= 0) {
                unmeasuredRow(family, ours, target);
            } else if (!target.peerFamily.empty()) {
                row(family, target.peerLabel(), ours, other, &target);
            }
        }
    }
    out << "Targets: " << met << " met, " << missed << " NOT met";
    if (unmeasured > 0) {
        out << ", " << unmeasured << " not measured";
    }
    out << "\n";
}

}  // namespace sfbench
