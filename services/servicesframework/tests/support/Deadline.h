// Bounded waiting for tests: a test that waits for another thread polls a condition until a
// deadline, so a broken implementation fails the test instead of hanging the run.
#ifndef SERVICESFRAMEWORK_TESTS_DEADLINE_H
#define SERVICESFRAMEWORK_TESTS_DEADLINE_H

#include <chrono>
#include <thread>

namespace sftest {

// Generous, because sanitizer builds on a loaded two-core machine are slow; a correct
// implementation meets the condition long before.
constexpr std::chrono::milliseconds kDeadline{10000};

template <typename Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds within = kDeadline) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline long elapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - since)
                                 .count());
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_DEADLINE_H
