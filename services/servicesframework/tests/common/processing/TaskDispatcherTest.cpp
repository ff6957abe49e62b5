#include <ZAMUnified/Processing/TaskDispatcher.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestTasks.h"
#include "support/LogCapture.h"

namespace {

using namespace sftest;
using ZAMUnified::Processing::TaskDispatcher;

// Each form reaches the pool with its own urgency, so the urgent ones, function and task, run
// before the normal ones; the statistics are the pool's. (ThreadPoolTest holds the blocking
// enqueues a busy pool's own threads make, such as the factory's background dispatcher met.)
TEST(TaskDispatcherTest, UrgentFormsRunFirstAndTheStatisticsAreThePools) {
    HeldTasks held;
    Order order;
    auto recording = [&](const std::string& name) { return [&order, name] { order.add(name); }; };
    TaskDispatcher dispatcher("CommonTaskDisp", 1, 100);
    dispatcher.enqueue(held.make());
    ASSERT_TRUE(started(held, 1));
    dispatcher.enqueue(recording("n1"), "n1");
    dispatcher.enqueue(task(recording("n2"), "n2"));
    dispatcher.enqueueUrgent(recording("u1"), "u1");
    dispatcher.enqueueUrgent(task(recording("u2"), "u2"));
    EXPECT_EQ(4u, dispatcher.queueSize());
    EXPECT_EQ("alive 1, busy 1, urgent 2, normal 2, run 0", describe(dispatcher.getStatistics()));
    held.open();
    dispatcher.enqueueBlock(recording("last"), "last");
    EXPECT_EQ((std::vector<std::string>{"u1", "u2", "n1", "n2", "last"}), order.names());
}

// Enqueued tasks are logged at debug with the queue size before, and only then: function forms
// and null tasks are not logged, and the pool refuses a null task with a line of its own.
// enqueueAndWait passes on the pool's answer whether the task ran (ThreadPoolTest covers tasks
// dropped by clearQueue and the pool's end).
TEST(TaskDispatcherTest, TaskEnqueuesAreLoggedAtDebugWithTheQueueSizeBefore_NEGATIVE) {
    LogCapture log({"TaskDispatcher"}, ZAMLOG_LEVEL_DEBUG);
    TaskDispatcher dispatcher("logged", 4, 100);
    int value = 0;
    EXPECT_TRUE(dispatcher.enqueueAndWait([&] { value = 7; }, "quiet"));
    EXPECT_EQ(7, value);
    EXPECT_TRUE(dispatcher.enqueueAndWait(task([&] { value = 8; }, "fill")));
    EXPECT_EQ(8, value);
    dispatcher.enqueueBlock(task([] {}, "X"));
    dispatcher.enqueueBlock([] {}, "quiet");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(dispatcher.enqueueAndWait(TaskPtr()));
    dispatcher.enqueue(TaskPtr());
    dispatcher.enqueueUrgent(TaskPtr());
    dispatcher.enqueueBlock(TaskPtr());
    EXPECT_EQ(0u, dispatcher.queueSize());
    const std::string refused =
        "ThreadPool \"logged\": a null task was given to enqueue and is ignored\n";
    EXPECT_EQ(refused + refused + refused + refused, testing::internal::GetCapturedStderr());
    HeldTasks held;
    for (int i = 0; i < 4; ++i) {
        dispatcher.enqueue(held.make());
        ASSERT_TRUE(started(held, i + 1));
    }
    dispatcher.enqueue(task([] {}, "Y"));
    dispatcher.enqueueUrgent(task([] {}, "Z"));
    dispatcher.enqueue([] {}, "quiet");
    dispatcher.enqueueUrgent([] {}, "quiet");
    log.setLevel(ZAMLOG_LEVEL_INFO);  // below debug nothing is logged
    dispatcher.enqueue(task([] {}, "unseen"));
    std::string seen;
    for (const ZAMLogRecord& record : log.records()) {
        EXPECT_EQ(ZAMLOG_LEVEL_DEBUG, record.level);
        EXPECT_EQ("services/servicesframework/src/common/processing/TaskDispatcher", record.file);
        seen += record.function + ": " + record.message + "\n";
    }
    EXPECT_EQ(
        "enqueueAndWait: EnqueueAndWait fill - Queue Size: 0\n"
        "enqueueBlock: EnqueueBlock X - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue holder - Queue Size: 0\n"
        "enqueue: Enqueue Y - Queue Size: 0\n"
        "enqueueUrgent: EnqueueUrgent Z - Queue Size: 1\n",
        seen);
}

}  // namespace
