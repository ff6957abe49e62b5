// Bounded waiting for tests: a test that waits for another thread polls a condition until a
// deadline, so a broken implementation fails the test instead of hanging the run.
#ifndef SERVICESFRAMEWORK_TESTS_DEADLINE_H
#define SERVICESFRAMEWORK_TESTS_DEADLINE_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
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

// Checks a call that is meant to wait without limit: run on a thread of its own, it must still be
// waiting after `patience`, and must return within the deadline once `wake` has run. `call` must
// hold what it uses by value (shared pointers), because a call that never returns is left behind
// on a detached thread rather than hanging the run.
template <typename Call, typename Wake>
::testing::AssertionResult waitsUntilWoken(
    Call call, Wake wake, std::chrono::milliseconds patience = std::chrono::milliseconds(150)) {
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([call, returned]() mutable {
        call();
        *returned = true;
    });
    const bool early = eventually([&] { return returned->load(); }, patience);
    wake();
    const bool woken = early || eventually([&] { return returned->load(); });
    if (woken) {
        thread.join();
    } else {
        thread.detach();
    }
    if (early) {
        return ::testing::AssertionFailure()
               << "returned within " << patience.count() << " ms instead of waiting";
    }
    if (!woken) {
        return ::testing::AssertionFailure() << "still waiting after the wake-up";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_DEADLINE_H
