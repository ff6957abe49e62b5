#include <ZAMUnified/ServicesDispatcher.h>

#include <KORCoreUtils.h>
#include <ZAMLogger.h>
#include <ZAMUnified/AccessGuard.h>
#include <ZAMUnified/DispatcherAccessException.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/ServicesDispatcherFixture.h"
#include "support/Deadline.h"
#include "support/OnThread.h"

namespace {

using sftest::DispatcherTest;
using sftest::numbersIn;
using ZAMUnified::ServicesDispatcher;

// Runs `body` on a new thread and waits for it within the deadline.
template <typename Body>
void onOtherThread(Body body) {
    sftest::OnThread thread(body);
    EXPECT_TRUE(thread.returns());
}

std::string hex(std::uint64_t value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

TEST_F(DispatcherTest, OtherThreadsAreRefusedWithoutTouchingTheQueueUntilTheyTakeTheRoleOver) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    std::vector<int> ran;
    dispatcher.enqueue([&] { ran.push_back(1); }, "one", false, true);
    dispatcher.enqueue([&] { ran.push_back(2); }, "two", false, true);
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    const std::uint64_t host = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    std::uint64_t other = 0;
    log_.forget();

    onOtherThread([&] {
        other = KORCoreUtils::ThreadUtils::getCurrentThreadId();
        EXPECT_FALSE(dispatcher.checkForUpdateAccess());
        try {
            dispatcher.pumpAll();
            ADD_FAILURE() << "pumpAll ran off the dispatcher thread";
        } catch (const ZAMUnified::DispatcherAccessException& refused) {
            EXPECT_EQ("", const_cast<ZAMUnified::DispatcherAccessException&>(refused).getName());
        }
        EXPECT_THROW(dispatcher.pumpNext(), ZAMUnified::DispatcherAccessException);
        EXPECT_EQ(2, dispatcher.getQueueSize());
        try {
            dispatcher.ensureUpdateAccess("Balance");
            ADD_FAILURE() << "ensureUpdateAccess passed off the dispatcher thread";
        } catch (ZAMUnified::DispatcherAccessException& refused) {
            EXPECT_EQ("Balance", refused.getName());
        }
        EXPECT_TRUE(ran.empty());

        dispatcher.resetDispatcherThread();
        EXPECT_TRUE(dispatcher.checkForUpdateAccess());
        dispatcher.pumpAll();
    });
    EXPECT_EQ((std::vector<int>{1, 2}), ran);
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_FALSE(dispatcher.checkForUpdateAccess());
    EXPECT_THROW(dispatcher.pumpNext(), ZAMUnified::DispatcherAccessException);

    const std::string pumpRefusal =
        "ensureUpdateAccess An illegal attempt to access  was made from a non dispatcher thread";
    int pumpRefusals = 0;
    for (const ZAMLogRecord& record : log_.records()) {
        if (record.message == pumpRefusal) {
            ++pumpRefusals;
            EXPECT_EQ(ZAMLOG_LEVEL_DEBUG, record.level);
            EXPECT_EQ("ensureUpdateAccess", record.function);
        }
    }
    EXPECT_EQ(3, pumpRefusals) << "pumpAll, pumpNext on the other thread, pumpNext here";
    only(
        "ensureUpdateAccess An illegal attempt to access Balance was made from a non dispatcher "
        "thread");
    const ZAMLogRecord reset =
        only("Reset dispatcher thread from [0x" + hex(host) + "] to [0x" + hex(other) + "]");
    EXPECT_EQ(ZAMLOG_LEVEL_DEBUG, reset.level);
    EXPECT_EQ("resetDispatcherThread", reset.function);

    // Taking the role back is logged once; a reset by the thread that has the role logs nothing.
    log_.forget();
    dispatcher.resetDispatcherThread();
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    EXPECT_EQ(1u, log_.records().size());
    log_.forget();
    dispatcher.resetDispatcherThread();
    EXPECT_TRUE(log_.records().empty());
}

TEST_F(DispatcherTest, UrgentTasksRunFirstLaterOnesBeforeEarlierOnes) {
    std::vector<std::string> ran;
    auto record = [&ran](const std::string& name) { return [&ran, name] { ran.push_back(name); }; };
    dispatcher.enqueue(record("normal1"), "normal1", false, true);
    dispatcher.enqueue(record("urgent1"), "urgent1", true, true);
    dispatcher.enqueue(record("urgent2"), "urgent2", true, true);
    dispatcher.enqueue(record("normal2"), "normal2", false, true);
    dispatcher.pumpAll();
    EXPECT_EQ((std::vector<std::string>{"urgent2", "urgent1", "normal1", "normal2"}), ran);
    EXPECT_EQ("normal2", dispatcher.getLastTaskName());
}

TEST_F(DispatcherTest, TasksQueuedDuringAPumpRunInTheSameCallAndTasksMayPumpAgain) {
    std::vector<std::string> ran;
    dispatcher.enqueue(
        [&] {
            ran.push_back("first");
            dispatcher.enqueue([&] { ran.push_back("queued by first"); }, "b", false, true);
        },
        "a", false, true);
    dispatcher.enqueue(
        [&] {
            ran.push_back("pumping");
            dispatcher.enqueue([&] { ran.push_back("nested next"); }, "d", false, true);
            dispatcher.pumpNext();  // runs "queued by first", which is at the front
            dispatcher.pumpAll();   // runs "nested next"
            ran.push_back("pumping done");
        },
        "c", false, true);
    dispatcher.pumpAll();
    EXPECT_EQ((std::vector<std::string>{"first", "pumping", "queued by first", "nested next",
                                        "pumping done"}),
              ran);
    EXPECT_EQ(0, dispatcher.getQueueSize());
}

TEST_F(DispatcherTest, NullTasksAreRefusedAndLeaveTheQueueAlone_NEGATIVE) {
    dispatcher.enqueue([] {}, "kept", false, true);
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), false, true), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), true, false), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    onOtherThread([&] {
        EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    });
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_TRUE(log_.records().empty());
}

TEST_F(DispatcherTest, WaitReturnsForQueuedTasksAndStoredSignalsOnly) {
    // Nothing queued, nothing stored: a zero wait gives up at once and a short wait runs out.
    auto start = std::chrono::steady_clock::now();
    dispatcher.waitForDispatcherTask(0);
    dispatcher.waitForDispatcherTask(-1);
    dispatcher.waitForDispatcherTask(60);
    EXPECT_GE(sftest::elapsedMs(start), 60);

    // Enqueues coalesce into one stored signal, which outlives the pump that emptied the queue.
    dispatcher.enqueue([] {}, "a", false, true);
    dispatcher.enqueue([] {}, "b", false, true);
    dispatcher.waitForDispatcherTask();  // tasks queued: returns at once
    dispatcher.pumpAll();
    start = std::chrono::steady_clock::now();
    dispatcher.waitForDispatcherTask();  // empty queue, stored signal: returns at once
    EXPECT_LT(sftest::elapsedMs(start), 5000);
    start = std::chrono::steady_clock::now();
    dispatcher.waitForDispatcherTask(60);  // the signal was consumed
    EXPECT_GE(sftest::elapsedMs(start), 60);

    // A host blocked without limit is woken by an enqueue on another thread.
    {
        sftest::OnThread host([&] { dispatcher.waitForDispatcherTask(); });
        dispatcher.enqueue([] {}, "wake", false, true);
        EXPECT_TRUE(host.returns());
    }
    dispatcher.pumpAll();
}

class CountingCallback : public ZAMUnified::ServicesDispatcherCallback {
  public:
    void onTaskEnqueued() override {
        ++calls;
        lastThread = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    }
    std::atomic<int> calls{0};
    std::atomic<std::uint64_t> lastThread{0};
};

TEST_F(DispatcherTest, ACallbackReplacesTheNewTaskEvent) {
    auto callback = std::make_shared<CountingCallback>();
    dispatcher.setDispatcherCallback(callback);
    dispatcher.enqueue([] {}, "a", false, true);
    std::uint64_t producer = 0;
    onOtherThread([&] {
        producer = KORCoreUtils::ThreadUtils::getCurrentThreadId();
        dispatcher.enqueue([] {}, "b", true, false);
    });
    EXPECT_EQ(2, callback->calls.load());
    EXPECT_EQ(producer, callback->lastThread.load()) << "called on the enqueuing thread";
    dispatcher.pumpAll();
    // No signal was stored by those enqueues.
    auto start = std::chrono::steady_clock::now();
    dispatcher.waitForDispatcherTask(60);
    EXPECT_GE(sftest::elapsedMs(start), 60);

    // Removing the callback brings the event back.
    dispatcher.setDispatcherCallback(nullptr);
    dispatcher.enqueue([] {}, "c", false, true);
    EXPECT_EQ(2, callback->calls.load());
    dispatcher.pumpAll();
    start = std::chrono::steady_clock::now();
    dispatcher.waitForDispatcherTask(10000);
    EXPECT_LT(sftest::elapsedMs(start), 5000);
}

// The enqueue lets go of the task before it calls the callback: a host that pumps from inside the
// callback releases what the task held there and then.
TEST_F(DispatcherTest, ATaskPumpedFromTheCallbackIsReleasedAtOnce) {
    struct Pumping : ZAMUnified::ServicesDispatcherCallback {
        explicit Pumping(ServicesDispatcher& d) : dispatcher(d) {}
        void onTaskEnqueued() override {
            dispatcher.pumpAll();
            released = held.expired();
        }
        ServicesDispatcher& dispatcher;
        std::weak_ptr<int> held;
        bool released = false;
    };
    auto callback = std::make_shared<Pumping>(dispatcher);
    auto held = std::make_shared<int>(1);
    callback->held = held;
    dispatcher.setDispatcherCallback(callback);
    dispatcher.enqueue([held = std::move(held)] {}, "holds", false, true);
    EXPECT_TRUE(callback->released);
}

TEST_F(DispatcherTest, EnqueueBlockOnTheDispatcherThreadRunsTheTaskAtOnceAsAPumpWould) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    std::vector<std::string> ran;
    dispatcher.enqueue([&] { ran.push_back("queued"); }, "queued", false, true);
    log_.forget();
    dispatcher.enqueueBlock([&] { ran.push_back("direct"); }, "direct", true, true);
    EXPECT_EQ((std::vector<std::string>{"direct"}), ran) << "queued tasks are left for the pump";
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_EQ("BT-direct", dispatcher.getLastTaskName());
    EXPECT_EQ("executeTask", only(" executing (BT-direct)").function);
    ASSERT_EQ(2u, log_.messages(ZAMLOG_LEVEL_DEBUG).size());
    EXPECT_LE(numbersIn(log_.messages(ZAMLOG_LEVEL_DEBUG)[1],
                        " executed (BT-direct) in [#] milliseconds. Waiting time was [#] "
                        "milliseconds")
                  .at(1),
              2000);

    // From inside a pumped task, and with the task's exception reaching the caller.
    dispatcher.enqueue(
        [&] {
            dispatcher.enqueueBlock([&] { ran.push_back("nested"); }, "nested", false, true);
            EXPECT_THROW(dispatcher.enqueueBlock([] { throw std::runtime_error("boom"); }, "bad",
                                                 false, true),
                         std::runtime_error);
            ran.push_back("after");
        },
        "outer", false, true);
    dispatcher.pumpAll();
    EXPECT_EQ((std::vector<std::string>{"direct", "queued", "nested", "after"}), ran);

    // Not-loggable bookkeeping applies to the direct run too.
    log_.forget();
    dispatcher.enqueueBlock([] {}, "hushed", false, false);
    for (const ZAMLogRecord& record : log_.records()) {
        EXPECT_EQ(std::string::npos, record.message.find("executing")) << record.message;
    }
    EXPECT_FALSE(dispatcher.isTaskLoggable("BT-hushed"));
}

TEST_F(DispatcherTest, AThrowingTaskLeavesThePumpAndTheRestQueued_NEGATIVE) {
    std::vector<std::string> ran;
    dispatcher.enqueue([] { throw std::runtime_error("task failed"); }, "bad", false, true);
    dispatcher.enqueue([&] { ran.push_back("after"); }, "after", false, true);
    EXPECT_THROW(dispatcher.pumpAll(), std::runtime_error);
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_TRUE(ran.empty());
    // The pump mutex was released: another thread can take the role over at once.
    onOtherThread([&] {
        dispatcher.resetDispatcherThread();
        dispatcher.pumpAll();
    });
    EXPECT_EQ((std::vector<std::string>{"after"}), ran);
    dispatcher.resetDispatcherThread();

    // A thread blocked on a throwing task is released; the host sees the exception.
    sftest::OnThread producer([&] {
        dispatcher.enqueueBlock([] { throw std::logic_error("blocked failed"); }, "bad2", false,
                                true);
    });
    EXPECT_TRUE(sftest::eventually([&] { return dispatcher.getQueueSize() == 1; }));
    EXPECT_THROW(dispatcher.pumpAll(), std::logic_error);
    EXPECT_TRUE(producer.returns());
}

TEST_F(DispatcherTest, ClearReleasesThreadsBlockedOnDroppedTasks) {
    std::atomic<bool> ran{false};
    sftest::OnThread producer(
        [&] { dispatcher.enqueueBlock([&] { ran = true; }, "dropped", false, true); });
    EXPECT_TRUE(sftest::eventually([&] { return dispatcher.getQueueSize() == 1; }));
    dispatcher.clear();
    EXPECT_TRUE(producer.returns());
    EXPECT_FALSE(ran.load());
}

TEST(AccessGuardTest, ChecksTheCallingThreadOnlyWhenEnabled) {
    auto dispatcher = std::make_shared<ServicesDispatcher>();
    ZAMUnified::AccessGuard guard(dispatcher);
    guard.check("Name", true);
    std::thread other([&] {
        guard.check("Name", false);
        try {
            guard.check("Name", true);
            ADD_FAILURE() << "the guard let another thread update";
        } catch (ZAMUnified::DispatcherAccessException& refused) {
            EXPECT_EQ("Name", refused.getName());
        }
    });
    other.join();
    ZAMUnified::AccessGuard without(nullptr);
    without.check("Name", false);
    EXPECT_THROW(without.check("Name", true), ZAMUnified::DispatcherAccessException);
}

// Producers flood the dispatcher, every sixtieth task by a blocking enqueue, while the host pumps
// and the callback is swapped: every task runs exactly once on the host's thread, a blocking
// enqueue returns only after its task ran, and nothing hangs. (The task queue's and the pool's own
// floods are in their suites.)
TEST_F(DispatcherTest, StressEveryTaskRunsExactlyOnce) {
    constexpr int kProducers = 4;
    constexpr int kEach = 3000;
    std::vector<std::atomic<int>> runs(kProducers * kEach);
    std::atomic<int> wrong{0};
    std::atomic<int> producersDone{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) {
                const int index = p * kEach + i;
                const auto task = [&, index] {
                    wrong += dispatcher.checkForUpdateAccess() ? 0 : 1;
                    ++runs[index];
                };
                if (i % 60 == 0) {
                    dispatcher.enqueueBlock(task, "block", (i % 120) == 0, true);
                    wrong += runs[index].load() == 1 ? 0 : 1;
                } else {
                    dispatcher.enqueue(task, "stress", (i % 7) == 0, (i % 3) != 0);
                }
                if (i % 1000 == 0) {
                    dispatcher.setDispatcherCallback(
                        (i / 1000) % 2 == 0 ? std::make_shared<CountingCallback>() : nullptr);
                }
            }
            ++producersDone;
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + sftest::kDeadline * 6;
    while ((producersDone.load() < kProducers || dispatcher.getQueueSize() > 0) &&
           std::chrono::steady_clock::now() < deadline) {
        dispatcher.waitForDispatcherTask(5);
        dispatcher.pumpAll();
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    dispatcher.setDispatcherCallback(nullptr);
    for (const std::atomic<int>& count : runs) {
        wrong += count.load() != 1 ? 1 : 0;
    }
    EXPECT_EQ(0, wrong.load());
}

}  // namespace
