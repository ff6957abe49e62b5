// The goals the benchmark programs are held to: for a family, our time divided by one other
// variant's time from the same run must not exceed a ratio. The other variant is a peer of the
// same family, or (for a cost we only measure against ourselves) our variant of another family.
#ifndef SERVICESFRAMEWORK_BENCH_TARGETS_H
#define SERVICESFRAMEWORK_BENCH_TARGETS_H

#include <string>
#include <vector>

namespace sfbench {

struct Target {
    std::string family;
    std::string peer;  // the variant our time is divided by
    // The family of that variant; empty for the same family.
    std::string peerFamily;
    double ratio = 1.0;  // met when ours / peer <= ratio

    // "asio", or "Base64Decode1M/ours" when the variant belongs to another family.
    std::string peerLabel() const;
};

// Every goal, in the order the summary lists them.
const std::vector<Target>& performanceTargets();

}  // namespace sfbench

#endif  // SERVICESFRAMEWORK_BENCH_TARGETS_H
