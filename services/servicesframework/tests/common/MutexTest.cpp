#include <zam/Mutex.h>

#include <zam/Condition.h>
#include <zam/Event.h>
#include <zam/ScopedLock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <future>
#include <memory>
#include <thread>

#include "support/Deadline.h"

namespace {

using sftest::kDeadline;

// Whether another thread gets `mutex` within `ms` milliseconds; it holds the mutex, through a
// scoped lock, until it is joined.
struct Contender {
    explicit Contender(zam::Mutex& mutex)
        : thread([&] {
              zam::ScopedLock lock(mutex);
              acquired.set();
          }) {}
    ~Contender() { thread.join(); }
    bool gets(long ms) { return acquired.timedWait(ms); }
    zam::Event acquired{false};
    std::thread thread;
};

TEST(MutexTest, OwnerMayLockAgainAndOthersWaitUntilEveryLockIsReleased) {
    zam::Mutex mutex;
    ASSERT_EQ(0, mutex.lock());
    ASSERT_EQ(0, mutex.lock());  // recursive: no deadlock
    Contender other(mutex);
    EXPECT_EQ(0, mutex.unlock());
    EXPECT_FALSE(other.gets(50)) << "released after one unlock of two locks";
    EXPECT_EQ(0, mutex.unlock());
    EXPECT_TRUE(other.gets(kDeadline.count()));
}

// A scoped lock releases once: early, or at its destruction, never twice.
TEST(ScopedLockTest, ReleasesOnceWhetherEarlyOrAtDestruction) {
    zam::Mutex mutex;
    mutex.lock();  // an outer hold that must survive the scoped lock
    {
        zam::ScopedLock lock(mutex);
        EXPECT_EQ(0, lock.unlock());
        EXPECT_EQ(0, lock.unlock()) << "nothing is held any more";
    }  // the destructor must not unlock again: that would release the outer hold
    {
        Contender other(mutex);
        EXPECT_FALSE(other.gets(50)) << "the outer hold was released";
        mutex.unlock();
        EXPECT_TRUE(other.gets(kDeadline.count()));
    }
    // The first contender's scoped lock released the mutex at its end, so a second one gets it.
    EXPECT_TRUE(Contender(mutex).gets(kDeadline.count()));
}

TEST(ConditionTest, TimedWaitRunsOutWithTimeoutCode) {
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
}

// Time-outs beyond what the clock can represent (from about 9.2e12 ms), and the clock's farthest
// point, mean "no limit": the waiter is still there after a while and a signal releases it.
TEST(ConditionTest, TimeOutsTooLargeForTheClockWaitUntilSignalled) {
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

TEST(ConditionTest, BroadcastWakesEveryWaiter) {
    zam::Mutex mutex;
    zam::Condition condition;
    int generation = 0;  // guarded by mutex
    int waiting = 0;     // guarded by mutex
    std::atomic<int> woken{0};
    {
        std::future<void> waiters[2];
        for (std::future<void>& waiter : waiters) {
            waiter = std::async(std::launch::async, [&] {
                zam::ScopedLock lock(mutex);
                const int seen = generation;
                ++waiting;
                while (generation == seen) {
                    if (condition.timedWait(mutex, kDeadline.count()) != 0) {
                        return;
                    }
                }
                ++woken;
            });
        }
        ASSERT_TRUE(sftest::eventually([&] {
            zam::ScopedLock lock(mutex);
            return waiting == 2;
        }));
        zam::ScopedLock lock(mutex);
        ++generation;
        EXPECT_EQ(0, condition.broadcast());
    }
    EXPECT_EQ(2, woken.load());
}

}  // namespace
