// Deadlines for the library's timed waits. A time-out in milliseconds becomes a point of the
// monotonic clock without overflow: from about 9.2e12 ms, `now + milliseconds(ms)` overflows the
// clock's nanosecond count and lands in the past, so a host that passes LONG_MAX to mean "wait
// forever" would spin. A time-out beyond what the clock can represent means "no limit".
#ifndef SERVICESFRAMEWORK_DETAIL_TIMELIMIT_H
#define SERVICESFRAMEWORK_DETAIL_TIMELIMIT_H

#include <chrono>

namespace zam {
namespace detail {

using SteadyTime = std::chrono::steady_clock::time_point;

// The deadline that stands for "no limit"; Condition::waitUntil waits without a time-out for it.
constexpr SteadyTime kNoDeadline = SteadyTime::max();

// `milliseconds` after `from`, or kNoDeadline when that point is beyond the clock's range. A
// negative time gives `from` itself: the time has run out already.
inline SteadyTime deadlineAfter(SteadyTime from, long milliseconds) {
    if (milliseconds <= 0) {
        return from;
    }
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(kNoDeadline - from);
    if (milliseconds >= room.count()) {
        return kNoDeadline;
    }
    return from + std::chrono::milliseconds(milliseconds);
}

}  // namespace detail
}  // namespace zam

#endif  // SERVICESFRAMEWORK_DETAIL_TIMELIMIT_H
