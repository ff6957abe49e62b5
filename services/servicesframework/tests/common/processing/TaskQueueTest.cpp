#include <ZAMUnified/Processing/TaskQueue.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/TestTasks.h"

namespace {

using namespace sftest;
using ZAMUnified::Processing::TaskQueue;

std::string nameOf(const TaskPtr& task) {
    return task ? task->name() : "<none>";
}

// The names of what the queue holds, taken off in order.
std::string drain(TaskQueue& queue) {
    std::string names;
    while (TaskPtr task = queue.dequeueTask()) {
        names += task->name() + " ";
    }
    return names;
}

// A consumer blocked in waitDequeueTask, returned once the queue counts it as waiting so that
// tests can order consumers and hand-overs; its future gives the name of what it was handed.
std::future<std::string> waitingConsumer(TaskQueue& queue, long timeoutMs = 10000) {
    const int before = queue.waiterCount();
    auto consumer = std::async(std::launch::async, [&queue, timeoutMs] {
        return nameOf(queue.waitDequeueTask(timeoutMs));
    });
    EXPECT_TRUE(eventually([&] { return queue.waiterCount() == before + 1; }));
    return consumer;
}

// Urgent tasks come first, the last one first; a task is removed by identity, once, while queued.
TEST(TaskQueueTest, UrgentTasksRunFirstLastInFirstOutAndRemoveTakesOutOnlyAQueuedTask) {
    TaskQueue queue;
    TaskPtr a = named("a");
    queue.enqueueTask(a, false);
    queue.enqueueTask(named("b"), false);
    queue.enqueueUrgentTask(named("c"));
    queue.enqueueUrgentTask(named("d"));
    EXPECT_EQ(4, queue.size());
    EXPECT_EQ("d c a b ", drain(queue));
    EXPECT_EQ(0, queue.size());

    TaskPtr b = named("b");
    queue.enqueueTask(a, false);
    queue.enqueueTask(b, false);
    EXPECT_TRUE(queue.removeTask(a));
    EXPECT_FALSE(queue.removeTask(a));
    EXPECT_FALSE(queue.removeTask(named("b"))) << "found by identity, not by name";
    EXPECT_EQ(1, queue.size());
    EXPECT_EQ(b, queue.dequeueTask());
    EXPECT_FALSE(queue.removeTask(b));
}

// Null tasks are ignored; an empty queue answers a dequeue at once and a wait at its time-out,
// after which the consumer no longer counts as waiting; a queued task is taken without a wait.
TEST(TaskQueueTest, NullTasksAreIgnoredAndWaitsEndWithATaskOrAtTheirTimeOut) {
    TaskQueue queue;
    EXPECT_EQ(nullptr, queue.dequeueTask());
    queue.enqueueTask(TaskPtr(), false);
    queue.enqueueUrgentTask(TaskPtr());
    EXPECT_EQ(0, queue.size());
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nullptr, queue.waitDequeueTask(100));
    EXPECT_GE(elapsedMs(start), 100);
    EXPECT_EQ(0, queue.waiterCount()) << "a timed-out consumer must unregister";
    queue.enqueueTask(named("ready"), false);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ("ready", nameOf(queue.waitDequeueTask(10000)));
    EXPECT_LT(elapsedMs(start), 5000);
}

// A time-out too large for the clock means "no limit" (a host passing LONG_MAX used to get an
// empty return at once; ConditionTest holds the rows around the clock's end, whose deadline the
// queue shares). Zero and negative ones take a queued task or give up at once.
TEST(TaskQueueTest, TimeOutsTooLargeForTheClockWaitForATaskAndNoneDoNotWait) {
    auto queue = std::make_shared<TaskQueue>();
    auto got = std::make_shared<std::string>();
    EXPECT_TRUE(waitsUntilWoken([queue, got] { *got = nameOf(queue->waitDequeueTask(LONG_MAX)); },
                                [queue] { queue->enqueueTask(named("wake"), false); }));
    EXPECT_EQ("wake", *got);
    EXPECT_EQ(0, queue->waiterCount());
    for (long timeOut : {0L, -1L, LONG_MIN}) {
        SCOPED_TRACE(timeOut);
        TaskQueue queue;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(nullptr, queue.waitDequeueTask(timeOut));
        queue.enqueueTask(named("queued"), false);
        EXPECT_EQ("queued", nameOf(queue.waitDequeueTask(timeOut)));
        EXPECT_LT(elapsedMs(start), 5000);
        EXPECT_EQ(0, queue.waiterCount());
    }
}

// Tasks go straight to waiting consumers, longest waiting first, and never enter the queue.
TEST(TaskQueueTest, LongestWaitingConsumerIsHandedTheFirstTaskWithoutTheQueue) {
    TaskQueue queue;
    auto first = waitingConsumer(queue);
    auto second = waitingConsumer(queue);
    auto third = waitingConsumer(queue);
    queue.enqueueUrgentTask(named("t1"));
    queue.enqueueTask(named("t2"), true);  // urgency is meaningless for a hand-over
    queue.enqueueTask(named("t3"), false);
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(0, queue.waiterCount());
    EXPECT_EQ("t1 t2 t3", first.get() + " " + second.get() + " " + third.get());
}

// clear drops what is queued but leaves waiting consumers waiting; wakeUpAll releases every
// consumer without a task, long before its time-out, and released ones take no hand-over.
TEST(TaskQueueTest, ClearLeavesConsumersWaitingAndWakeUpAllReleasesThemWithoutATask) {
    TaskQueue queue;
    queue.enqueueTask(named("a"), false);
    queue.enqueueTask(named("b"), false);
    queue.clear();
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(nullptr, queue.dequeueTask());
    auto waiting = waitingConsumer(queue);
    queue.clear();
    EXPECT_EQ(1, queue.waiterCount());
    queue.enqueueTask(named("after-clear"), false);
    EXPECT_EQ("after-clear", waiting.get());

    const auto start = std::chrono::steady_clock::now();
    auto first = waitingConsumer(queue, 20000);
    auto second = waitingConsumer(queue, 20000);
    queue.wakeUpAll();
    EXPECT_EQ("<none> <none>", first.get() + " " + second.get());
    EXPECT_LT(elapsedMs(start), 15000) << "released by the wake-up, not the time-out";
    EXPECT_EQ(0, queue.waiterCount());
    queue.enqueueTask(named("later"), false);
    EXPECT_EQ(1, queue.size()) << "released consumers no longer take hand-overs";
}

TEST(TaskQueueTest, FirstTaskQueuedTimeFollowsTheFrontTaskAndRestamping) {
    TaskQueue queue;
    EXPECT_EQ(0, queue.getFirstTaskQueuedTime().count());
    TaskPtr old = named("old");
    queue.enqueueTask(old, false);
    const auto stamped = old->getSubmissionTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    const auto waited = queue.getFirstTaskQueuedTime().count();
    EXPECT_GE(waited, 60);
    EXPECT_LT(waited, 60000);
    // Taken off and queued again: stamped anew, so its queued time starts over.
    ASSERT_EQ(old, queue.dequeueTask());
    queue.enqueueTask(old, false);
    EXPECT_GT(old->getSubmissionTime(), stamped);
    EXPECT_LT(queue.getFirstTaskQueuedTime().count(), waited);
}

// Consumers with tiny time-outs race producers, so hand-overs keep meeting time-outs. Every task
// must come out exactly once: through a consumer, or left in the queue at the end.
TEST(TaskQueueTest, NoTaskIsLostOrDuplicatedWhenHandOversMeetTimeOuts) {
    TaskQueue queue;
    constexpr int kPerProducer = 3000;
    constexpr int kTotal = 3 * kPerProducer;
    std::vector<std::atomic<int>> runs(kTotal);
    std::atomic<int> produced{0};
    {
        std::vector<std::future<void>> threads;
        for (int c = 0; c < 3; ++c) {
            threads.push_back(std::async(std::launch::async, [&] {
                while (produced.load() < kTotal || queue.size() > 0) {
                    if (TaskPtr task = queue.waitDequeueTask(1)) {
                        task->execute();
                    }
                }
            }));
        }
        for (int p = 0; p < 3; ++p) {
            threads.push_back(std::async(std::launch::async, [&, p] {
                for (int i = 0; i < kPerProducer; ++i) {
                    const int id = p * kPerProducer + i;
                    queue.enqueueTask(task([&runs, id] { ++runs[id]; }), i % 7 == 0);
                    ++produced;
                }
            }));
        }
    }
    while (TaskPtr task = queue.dequeueTask()) {
        task->execute();
    }
    int wrong = 0;
    for (const std::atomic<int>& run : runs) {
        wrong += run.load() != 1;
    }
    EXPECT_EQ(0, wrong) << "tasks lost or run twice";
}

}  // namespace
