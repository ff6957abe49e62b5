#include <zam/Mutex.h>

#include <zam/Condition.h>
#include <zam/Event.h>
#include <zam/ScopedLock.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <thread>

#include "support/Deadline.h"

namespace {

TEST(MutexTest, OwnerMayLockAgainAndOthersWaitUntilEveryLockIsReleased) {
    zam::Mutex mutex;
    ASSERT_EQ(0, mutex.lock());
    ASSERT_EQ(0, mutex.lock());  // recursive: no deadlock

    zam::Event acquired(false);
    std::thread other([&] {
        mutex.lock();
        acquired.set();
        mutex.unlock();
    });

    EXPECT_EQ(0, mutex.unlock());
    EXPECT_FALSE(acquired.timedWait(50)) << "released after one unlock of two locks";
    EXPECT_EQ(0, mutex.unlock());
    EXPECT_TRUE(acquired.timedWait(sftest::kDeadline.count()));
    other.join();
}

// A scoped lock releases once: early, or at its destruction, never twice.
TEST(ScopedLockTest, ReleasesOnceWhetherEarlyOrAtDestruction) {
    zam::Mutex mutex;
    zam::Event acquired(false);
    mutex.lock();  // an outer hold that must survive the scoped lock
    {
        zam::ScopedLock lock(mutex);
        EXPECT_EQ(0, lock.unlock());
        EXPECT_EQ(0, lock.unlock()) << "nothing is held any more";
    }  // the destructor must not unlock again: that would release the outer hold
    auto lockOnAnotherThread = [&] {
        return std::thread([&] {
            zam::ScopedLock inner(mutex);
            acquired.set();
        });
    };
    std::thread other = lockOnAnotherThread();
    EXPECT_FALSE(acquired.timedWait(50)) << "the outer hold was released";
    mutex.unlock();
    EXPECT_TRUE(acquired.timedWait(sftest::kDeadline.count()));
    other.join();
    // The first thread's scoped lock released the mutex at its end, so a second thread gets it.
    other = lockOnAnotherThread();
    EXPECT_TRUE(acquired.timedWait(sftest::kDeadline.count()));
    other.join();
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
    // 0 stands for waitUntil(time_point::max()).
    for (long timeOut : {LONG_MAX, 10000000000000L, 1000000000000L, 0L}) {
        SCOPED_TRACE(timeOut);
        auto wait = [timeOut](zam::Condition& c, zam::Mutex& m) {
            return timeOut != 0 ? c.timedWait(m, timeOut)
                                : c.waitUntil(m, std::chrono::steady_clock::time_point::max());
        };
        struct Shared {
            zam::Mutex mutex;
            zam::Condition condition;
            bool signalled = false;  // guarded by mutex
            std::atomic<int> code{-1};
        };
        auto shared = std::make_shared<Shared>();
        EXPECT_TRUE(sftest::waitsUntilWoken(
            [shared, wait] {
                zam::ScopedLock lock(shared->mutex);
                int code = 0;
                while (!shared->signalled && code == 0) {
                    code = wait(shared->condition, shared->mutex);
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

TEST(ConditionTest, SignalWakesTimedWaiterAndBroadcastWakesAll) {
    zam::Mutex mutex;
    zam::Condition condition;
    int generation = 0;  // guarded by mutex
    int waiting = 0;     // guarded by mutex
    std::atomic<int> woken{0};

    auto waiter = [&] {
        zam::ScopedLock lock(mutex);
        const int seen = generation;
        ++waiting;
        while (generation == seen) {
            if (condition.timedWait(mutex, sftest::kDeadline.count()) != 0) {
                return;
            }
        }
        ++woken;
    };
    std::thread first(waiter);
    std::thread second(waiter);
    ASSERT_TRUE(sftest::eventually([&] {
        zam::ScopedLock lock(mutex);
        return waiting == 2;
    }));
    {
        zam::ScopedLock lock(mutex);
        ++generation;
        EXPECT_EQ(0, condition.broadcast());
    }
    first.join();
    second.join();
    EXPECT_EQ(2, woken.load());
}

}  // namespace
