#include <zam/Mutex.h>

#include <zam/Condition.h>
#include <zam/Event.h>
#include <zam/ScopedLock.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <future>
#include <string>

#include "support/Deadline.h"
#include "support/OnThread.h"

namespace {

using sftest::kDeadline;

// The owner may lock again and others wait until every lock is released. A scoped lock releases
// once: early, or at its destruction, never twice.
TEST(MutexTest, OwnerMayLockAgainAndOthersWaitUntilEveryLockIsReleasedAndScopedLocksReleaseOnce) {
    zam::Mutex mutex;
    auto contend = [&] { zam::ScopedLock lock(mutex); };
    auto stillWaits = [](const sftest::OnThread& other) {
        return !sftest::eventually([&] { return other.returned(); }, std::chrono::milliseconds(50));
    };
    ASSERT_EQ(0, mutex.lock());
    ASSERT_EQ(0, mutex.lock());  // recursive: no deadlock
    {
        sftest::OnThread other(contend);
        EXPECT_EQ(0, mutex.unlock());
        EXPECT_TRUE(stillWaits(other)) << "released after one unlock of two locks";
        EXPECT_EQ(0, mutex.unlock());
        EXPECT_TRUE(other.returns());
    }
    mutex.lock();  // an outer hold that must survive the scoped lock
    {
        zam::ScopedLock lock(mutex);
        EXPECT_EQ(0, lock.unlock());
        EXPECT_EQ(0, lock.unlock()) << "nothing is held any more";
    }  // the destructor must not unlock again: that would release the outer hold
    {
        sftest::OnThread other(contend);
        EXPECT_TRUE(stillWaits(other)) << "the outer hold was released";
        mutex.unlock();
        EXPECT_TRUE(other.returns());
    }
    // The first contender's scoped lock released the mutex at its end, so a second one gets it.
    EXPECT_TRUE(sftest::OnThread(contend).returns());
}

TEST(ConditionTest,
     TimedWaitRunsOutWithTimeoutCodeAndTimeOutsTooLargeForTheClockWaitUntilSignalled) {
    zam::Mutex mutex;
    zam::Condition condition;
    zam::ScopedLock lock(mutex);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ETIMEDOUT, condition.timedWait(mutex, 60));
    EXPECT_GE(sftest::elapsedMs(start), 60);
    EXPECT_EQ(ETIMEDOUT, condition.timedWait(mutex, 0));
    EXPECT_EQ(ETIMEDOUT, condition.timedWait(mutex, -5)) << "a negative time has run out already";
    EXPECT_EQ(ETIMEDOUT,
              condition.waitUntil(mutex, std::chrono::steady_clock::now() - std::chrono::hours(1)));

    // Time-outs beyond what the clock can represent (from about 9.2e12 ms), and the clock's
    // farthest point, mean "no limit": the waiter is still there after a while and a signal
    // releases it.
    struct Shared {
        zam::Mutex mutex;
        zam::Condition condition;
        bool signalled = false;  // guarded by mutex
        std::atomic<int> code{-1};
    };
    // 0 stands for waitUntil(time_point::max()).
    for (long timeOut : {LONG_MAX, 10000000000000L, 1000000000000L, 0L}) {
        SCOPED_TRACE(timeOut);
        auto shared = std::make_shared<Shared>();
        EXPECT_TRUE(sftest::waitsUntilWoken(
            [shared, timeOut] {
                zam::ScopedLock lock(shared->mutex);
                int code = 0;
                while (!shared->signalled && code == 0) {
                    code = timeOut != 0
                               ? shared->condition.timedWait(shared->mutex, timeOut)
                               : shared->condition.waitUntil(
                                     shared->mutex, std::chrono::steady_clock::time_point::max());
                }
                shared->code = code;
            },
            [shared] {
                zam::ScopedLock lock(shared->mutex);
                shared->signalled = true;
                shared->condition.signal();
            }));
        EXPECT_EQ(0, shared->code.load());
    }
}

// Both waiters must be woken by the one broadcast; one left waiting runs into its time-out.
TEST(ConditionTest, BroadcastWakesEveryWaiter) {
    zam::Mutex mutex;
    zam::Condition condition;
    bool go = false;  // guarded by mutex
    int waiting = 0;  // guarded by mutex
    auto waiter = [&] {
        zam::ScopedLock lock(mutex);
        ++waiting;
        int code = 0;
        while (!go && code == 0) {
            code = condition.timedWait(mutex, kDeadline.count());
        }
        return code;
    };
    auto first = std::async(std::launch::async, waiter);
    auto second = std::async(std::launch::async, waiter);
    ASSERT_TRUE(sftest::eventually([&] {
        zam::ScopedLock lock(mutex);
        return waiting == 2;
    }));
    {
        zam::ScopedLock lock(mutex);
        go = true;
        EXPECT_EQ(0, condition.broadcast());
    }
    EXPECT_EQ("0 0", std::to_string(first.get()) + " " + std::to_string(second.get()));
}

TEST(EventTest,
     AnAutoResetSignalIsKeptUntilOneWaitTakesItAManualOneUntilResetAndTimeOutsHoldAtTheClocksEnds) {
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
    // As -1 above, the most negative time fails at once, set or not.
    EXPECT_FALSE(manual.timedWait(LONG_MIN));
    manual.set();
    EXPECT_FALSE(manual.timedWait(LONG_MIN));

    // A time-out too large for the clock means "no limit" (ConditionTest holds the rows around the
    // clock's end; the event shares their deadline).
    auto shared = std::make_shared<zam::Event>(true);
    auto result = std::make_shared<std::atomic<int>>(-1);
    EXPECT_TRUE(sftest::waitsUntilWoken([shared, result] { *result = shared->timedWait(LONG_MAX); },
                                        [shared] { shared->set(); }));
    EXPECT_EQ(1, result->load()) << "released by the signal, not a time-out";
}

// One signal releases one waiter of an auto-reset event and every waiter of a manual-reset one,
// whether it was set after the waiters came or (several times over, storing nothing more) before.
TEST(EventTest, OneSignalReleasesOneAutoResetWaiterOrEveryManualResetWaiter) {
    for (auto [autoReset, setBefore] :
         {std::pair{true, false}, {true, true}, {false, false}, {false, true}}) {
        SCOPED_TRACE(testing::Message()
                     << "auto-reset " << autoReset << ", set before " << setBefore);
        zam::Event event(autoReset);
        for (int i = 0; setBefore && i < 3; ++i) {
            EXPECT_TRUE(event.set());
        }
        std::atomic<int> released{0};
        std::future<void> waiters[3];
        for (std::future<void>& waiter : waiters) {
            waiter = std::async(std::launch::async,
                                [&] { released += event.timedWait(sftest::kDeadline.count()); });
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
    sftest::OnThread stealer([&] {
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
    EXPECT_LT(longest, 700);
}

}  // namespace
