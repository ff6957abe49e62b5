#include <ZAMUnified/Processing/TaskDispatcher.h>

#include <KORCoreUtils.h>
#include <KORCoreUtils/FunctionTask.h>
#include <ZAMLogger.h>
#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Deadline.h"
#include "support/HeldTasks.h"

namespace {

using sftest::HeldTasks;
using ZAMUnified::Processing::TaskDispatcher;

TaskPtr task(std::function<void()> body, const std::string& name) {
    return std::make_shared<KORCoreUtils::FunctionTask>(std::move(body), name);
}

class TaskDispatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZAMLog_setSink([this](const ZAMLogRecord& record) {
            if (record.logger == "TaskDispatcher") {
                std::lock_guard<std::mutex> lock(mutex);
                records.push_back(record);
            }
        });
    }
    void TearDown() override {
        ZAMLog_setSink({});
        ZAMLog_setLevel("TaskDispatcher", ZAMLOG_LEVEL_WARNING);
    }
    std::mutex mutex;
    std::vector<ZAMLogRecord> records;
};

// Each form reaches the pool with its own urgency, so the urgent ones, function and task, run
// before the normal ones; the statistics are the pool's.
TEST_F(TaskDispatcherTest, UrgentFormsRunFirstAndTheStatisticsAreThePools) {
    HeldTasks held;
    std::mutex orderMutex;
    std::vector<std::string> order;
    auto recording = [&](const std::string& name) {
        return [&, name] {
            std::lock_guard<std::mutex> lock(orderMutex);
            order.push_back(name);
        };
    };
    TaskDispatcher dispatcher("CommonTaskDisp", 1, 100);
    dispatcher.enqueue(held.make());
    ASSERT_TRUE(sftest::eventually([&] { return held.started.load() == 1; }));
    dispatcher.enqueue(recording("n1"), "n1");
    dispatcher.enqueue(task(recording("n2"), "n2"));
    dispatcher.enqueueUrgent(recording("u1"), "u1");
    dispatcher.enqueueUrgent(task(recording("u2"), "u2"));
    EXPECT_EQ(4u, dispatcher.queueSize());
    const zam::ThreadPool::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ("1 1 2 2 0", std::to_string(statistics.threadsAlive) + " " +
                               std::to_string(statistics.threadsBusy) + " " +
                               std::to_string(statistics.urgentQueued) + " " +
                               std::to_string(statistics.normalQueued) + " " +
                               std::to_string(statistics.tasksRun));
    held.open();
    dispatcher.enqueueBlock(recording("last"), "last");
    std::lock_guard<std::mutex> lock(orderMutex);
    EXPECT_EQ((std::vector<std::string>{"u1", "u2", "n1", "n2", "last"}), order);
}

// The factory's background dispatcher has four threads. A task of it that made a blocking enqueue
// on it while all four were busy used to wait forever. Here all four do so at once and stay busy
// until every inner task has run, so each inner task can only run on the thread that asked.
TEST_F(TaskDispatcherTest, BlockingEnqueuesFromItsOwnBusyThreadsRunOnThoseThreads) {
    zam::Event allBusy(false);
    zam::Event release(false);
    std::atomic<int> started{0};
    std::atomic<int> innerRan{0};
    std::atomic<int> innerOnItsCaller{0};
    std::atomic<int> finished{0};
    {
        TaskDispatcher dispatcher("CommonTaskDisp", 4, 100);
        for (int i = 0; i < 4; ++i) {
            dispatcher.enqueue(
                [&] {
                    ++started;
                    allBusy.wait();
                    const std::uint64_t caller = KORCoreUtils::ThreadUtils::getCurrentThreadId();
                    dispatcher.enqueueBlock(
                        [&, caller] {
                            if (KORCoreUtils::ThreadUtils::getCurrentThreadId() == caller) {
                                ++innerOnItsCaller;
                            }
                            ++innerRan;
                        },
                        "inner");
                    release.wait();
                    ++finished;
                },
                "outer");
        }
        EXPECT_TRUE(sftest::eventually([&] { return started.load() == 4; }));
        allBusy.set();
        EXPECT_TRUE(sftest::eventually([&] { return innerRan.load() == 4; }));
        release.set();
    }  // the dispatcher's end drops queued inner tasks and so releases outer ones still waiting
    ASSERT_TRUE(sftest::eventually([&] { return finished.load() == 4; }));
    EXPECT_EQ(4, innerOnItsCaller.load());
}

// enqueueAndWait passes on the pool's answer whether the task ran (ThreadPoolTest covers tasks
// dropped by clearQueue and the pool's end); a null one did not.
TEST_F(TaskDispatcherTest, EnqueueAndWaitSaysWhetherTheTaskRan_NEGATIVE) {
    ZAMLog_setLevel("TaskDispatcher", ZAMLOG_LEVEL_DEBUG);
    TaskDispatcher dispatcher("answers", 1, 100);
    int value = 0;
    EXPECT_TRUE(dispatcher.enqueueAndWait([&] { value = 7; }, "fill"));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(dispatcher.enqueueAndWait(task([&] { value = 8; }, "fill")));
    EXPECT_EQ(8, value);
    // Null tasks are ignored by the pool, with one line each, and are not logged.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(dispatcher.enqueueAndWait(TaskPtr()));
    dispatcher.enqueue(TaskPtr());
    EXPECT_EQ(0u, dispatcher.queueSize());
    EXPECT_EQ(
        "ThreadPool \"answers\": a null task was given to enqueue and is ignored\n"
        "ThreadPool \"answers\": a null task was given to enqueue and is ignored\n",
        testing::internal::GetCapturedStderr());
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(1u, records.size()) << "the function form logs nothing";
    EXPECT_EQ("EnqueueAndWait fill - Queue Size: 0", records[0].message);
    EXPECT_EQ("enqueueAndWait", records[0].function);
}

TEST_F(TaskDispatcherTest, TaskEnqueuesAreLoggedAtDebugWithTheQueueSizeBefore) {
    ZAMLog_setLevel("TaskDispatcher", ZAMLOG_LEVEL_DEBUG);
    TaskDispatcher dispatcher("logged", 4, 100);
    dispatcher.enqueueBlock(task([] {}, "X"));
    dispatcher.enqueueBlock([] {}, "function forms log nothing");
    HeldTasks held;
    for (int i = 0; i < 4; ++i) {
        dispatcher.enqueue(held.make());
        ASSERT_TRUE(sftest::eventually([&] { return held.started.load() == i + 1; }));
    }
    dispatcher.enqueue(task([] {}, "Y"));
    dispatcher.enqueueUrgent(task([] {}, "Z"));
    dispatcher.enqueue([] {}, "quiet");
    dispatcher.enqueueUrgent([] {}, "quiet");
    std::string seen;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const ZAMLogRecord& record : records) {
            EXPECT_EQ(ZAMLOG_LEVEL_DEBUG, record.level);
            EXPECT_EQ("services/servicesframework/src/common/processing/TaskDispatcher",
                      record.file);
            seen += record.function + ": " + record.message + "\n";
        }
    }
    EXPECT_EQ(
        "enqueueBlock: EnqueueBlock X - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue Y - Queue Size: 0\n"
        "enqueueUrgent: EnqueueUrgent Z - Queue Size: 1\n",
        seen);

    // Below debug nothing is logged.
    ZAMLog_setLevel("TaskDispatcher", ZAMLOG_LEVEL_INFO);
    dispatcher.enqueue(task([] {}, "unseen"));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(7u, records.size());
}

TEST_F(TaskDispatcherTest, BackgroundTasksAreRefusedStateUpdates) {
    ZAMUnified::ServicesDispatcher services;
    TaskDispatcher dispatcher("background", 2, 100);
    const std::uint64_t caller = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    std::uint64_t ranOn = caller;
    bool refused = false;
    dispatcher.enqueueBlock(
        [&] {
            ranOn = KORCoreUtils::ThreadUtils::getCurrentThreadId();
            try {
                services.ensureUpdateAccess("State");
            } catch (ZAMUnified::DispatcherAccessException&) {
                refused = true;
            }
        },
        "update");
    EXPECT_NE(caller, ranOn);
    EXPECT_TRUE(refused);
}

}  // namespace
