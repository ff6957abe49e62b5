#include <zam/Event.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Deadline.h"

namespace {

TEST(EventTest, AnAutoResetSignalIsKeptUntilOneWaitTakesItAManualOneUntilReset) {
    zam::Event once(true);
    EXPECT_TRUE(once.set());
    EXPECT_TRUE(once.set());  // already signalled: changes nothing
    EXPECT_FALSE(once.reset()) << "an auto-reset event cannot be reset";
    EXPECT_TRUE(once.timedWait(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(once.timedWait(80)) << "the second set() must not have stored a second signal";
    EXPECT_GE(sftest::elapsedMs(start), 80);
    EXPECT_TRUE(once.set());
    EXPECT_FALSE(once.timedWait(-1)) << "a negative time fails at once even when signalled";
    EXPECT_TRUE(once.wait()) << "a signal set before the wait is not lost, nor taken by a failure";
    EXPECT_FALSE(once.timedWait(0));

    zam::Event manual(false);
    EXPECT_TRUE(manual.set());
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(manual.wait());
        EXPECT_TRUE(manual.timedWait(0));
    }
    EXPECT_TRUE(manual.reset());
    EXPECT_FALSE(manual.timedWait(0));
}

// A time-out too large for the clock means "no limit" (ConditionTest holds the rows around the
// clock's end; the event shares their deadline); zero and negative time-outs do not wait.
TEST(EventTest, TimeOutsTooLargeForTheClockWaitUntilSetAndNoneDoNotWait) {
    auto event = std::make_shared<zam::Event>(true);
    auto result = std::make_shared<std::atomic<int>>(-1);
    EXPECT_TRUE(sftest::waitsUntilWoken([event, result] { *result = event->timedWait(LONG_MAX); },
                                        [event] { event->set(); }));
    EXPECT_EQ(1, result->load()) << "released by the signal, not a time-out";
    for (long timeOut : {0L, -1L, LONG_MIN}) {
        SCOPED_TRACE(timeOut);
        zam::Event event(false);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(event.timedWait(timeOut));
        event.set();
        EXPECT_EQ(timeOut == 0, event.timedWait(timeOut)) << "a negative time fails even when set";
        EXPECT_LT(sftest::elapsedMs(start), 5000);
    }
}

// One signal releases one waiter of an auto-reset event and every waiter of a manual-reset one,
// whether it was set after the waiters came or (several times over, storing nothing more) before.
TEST(EventTest, OneSignalReleasesOneAutoResetWaiterOrEveryManualResetWaiter) {
    for (bool autoReset : {true, false}) {
        for (bool setBefore : {false, true}) {
            SCOPED_TRACE(std::string(autoReset ? "auto-reset" : "manual-reset") +
                         (setBefore ? ", set three times before" : ", set after"));
            zam::Event event(autoReset);
            for (int i = 0; setBefore && i < 3; ++i) {
                EXPECT_TRUE(event.set());
            }
            std::atomic<int> released{0};
            std::future<void> waiters[3];
            for (std::future<void>& waiter : waiters) {
                waiter = std::async(std::launch::async, [&] {
                    released += event.timedWait(sftest::kDeadline.count());
                });
            }
            if (!setBefore) {
                event.set();
            }
            const int expected = autoReset ? 1 : 3;
            EXPECT_TRUE(sftest::eventually([&] { return released.load() == expected; }));
            EXPECT_FALSE(sftest::eventually([&] { return released.load() > expected; },
                                            std::chrono::milliseconds(50)));
            // The rest are released one signal at a time; signals may coincide while nobody
            // waits, so keep signalling until all are out.
            EXPECT_TRUE(sftest::eventually([&] {
                event.set();
                return released.load() == 3;
            }));
        }
    }
}

// What a thread wrote before a set() that found the event signalled reaches the waiter that takes
// the signal: such a set() is ordered before the take as if it had raised the signal itself. The
// setter's flag is relaxed, so only the event orders the two threads; a set() that merely reads
// the flag leaves `written` a data race, which ThreadSanitizer reports.
TEST(EventTest, WritesBeforeASetThatFoundTheEventSignalledReachTheWaiter) {
    zam::Event event(true);
    int written = 0;
    std::atomic<bool> setterDone{false};
    std::thread setter([&] {
        event.set();  // raises the signal
        written = 42;
        event.set();  // finds it raised
        setterDone.store(true, std::memory_order_relaxed);
    });
    EXPECT_TRUE(sftest::eventually([&] { return setterDone.load(std::memory_order_relaxed); }));
    EXPECT_TRUE(event.timedWait(0));
    EXPECT_EQ(42, written);
    setter.join();
    EXPECT_FALSE(event.timedWait(0)) << "the second set() stored no signal of its own";
}

// A waiter that is woken but finds no signal must not start its full wait again: its deadline is
// fixed when the call starts. Here a stealer keeps setting an auto-reset event and consuming the
// signal itself at once, so a waiter is woken again and again and mostly finds the signal gone.
// Each call must end within its 200 milliseconds plus scheduling slack; a deadline that restarted
// on every wake-up keeps a call waiting until it happens to win a signal, often for seconds.
TEST(EventTest, TimedWaitKeepsItsDeadlineAcrossStolenSignals) {
    zam::Event event(true);
    std::atomic<bool> stop{false};
    std::thread stealer([&] {
        while (!stop) {
            event.set();
            event.timedWait(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    long longest = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2500);
    while (std::chrono::steady_clock::now() < end) {
        const auto start = std::chrono::steady_clock::now();
        event.timedWait(200);
        longest = std::max(longest, sftest::elapsedMs(start));
    }
    stop = true;
    stealer.join();
    EXPECT_LT(longest, 700);
}

}  // namespace
