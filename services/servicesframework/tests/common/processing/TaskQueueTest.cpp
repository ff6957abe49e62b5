#include <ZAMUnified/Processing/TaskQueue.h>

#include <KORCoreUtils/FunctionTask.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/Deadline.h"

namespace {

using ZAMUnified::Processing::TaskQueue;

TaskPtr named(const std::string& name) {
    return std::make_shared<KORCoreUtils::FunctionTask>([] {}, name);
}

std::string nameOf(const TaskPtr& task) {
    return task ? task->name() : "<none>";
}

// Starts a consumer blocked in waitDequeueTask and returns once the queue counts it as waiting,
// so that tests can order consumers and hand-overs.
std::thread startConsumer(TaskQueue& queue, std::string& result, long timeoutMs = 10000) {
    const int before = queue.waiterCount();
    std::thread consumer(
        [&queue, &result, timeoutMs] { result = nameOf(queue.waitDequeueTask(timeoutMs)); });
    EXPECT_TRUE(sftest::eventually([&] { return queue.waiterCount() == before + 1; }));
    return consumer;
}

TEST(TaskQueueTest, UrgentTasksRunFirstLastInFirstOut) {
    TaskQueue queue;
    queue.enqueueTask(named("a"), false);
    queue.enqueueTask(named("b"), false);
    queue.enqueueUrgentTask(named("c"));
    queue.enqueueUrgentTask(named("d"));
    EXPECT_EQ(4, queue.size());
    std::vector<std::string> order;
    while (TaskPtr task = queue.dequeueTask()) {
        order.push_back(task->name());
    }
    EXPECT_EQ((std::vector<std::string>{"d", "c", "a", "b"}), order);
    EXPECT_EQ(0, queue.size());
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
    EXPECT_GE(sftest::elapsedMs(start), 100);
    EXPECT_EQ(0, queue.waiterCount()) << "a timed-out consumer must unregister";
    queue.enqueueTask(named("ready"), false);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ("ready", nameOf(queue.waitDequeueTask(10000)));
    EXPECT_LT(sftest::elapsedMs(start), 5000);
}

// A time-out too large for the clock means "no limit" (a host passing LONG_MAX used to get an
// empty return at once; ConditionTest holds the rows around the clock's end, whose deadline the
// queue shares). Zero and negative ones take a queued task or give up at once.
TEST(TaskQueueTest, TimeOutsTooLargeForTheClockWaitForATaskAndNoneDoNotWait) {
    auto queue = std::make_shared<TaskQueue>();
    auto got = std::make_shared<std::string>();
    EXPECT_TRUE(
        sftest::waitsUntilWoken([queue, got] { *got = nameOf(queue->waitDequeueTask(LONG_MAX)); },
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
        EXPECT_LT(sftest::elapsedMs(start), 5000);
        EXPECT_EQ(0, queue.waiterCount());
    }
}

// Tasks go straight to waiting consumers, longest waiting first, and never enter the queue.
TEST(TaskQueueTest, LongestWaitingConsumerIsHandedTheFirstTaskWithoutTheQueue) {
    TaskQueue queue;
    std::string first, second, third;
    std::thread c1 = startConsumer(queue, first);
    std::thread c2 = startConsumer(queue, second);
    std::thread c3 = startConsumer(queue, third);
    queue.enqueueUrgentTask(named("t1"));
    queue.enqueueTask(named("t2"), true);  // urgency is meaningless for a hand-over
    queue.enqueueTask(named("t3"), false);
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(0, queue.waiterCount());
    c1.join();
    c2.join();
    c3.join();
    EXPECT_EQ("t1", first);
    EXPECT_EQ("t2", second);
    EXPECT_EQ("t3", third);
}

TEST(TaskQueueTest, WakeUpAllReleasesEveryConsumerWithoutATask) {
    TaskQueue queue;
    std::string r1, r2;
    const auto start = std::chrono::steady_clock::now();
    std::thread c1 = startConsumer(queue, r1, 20000);
    std::thread c2 = startConsumer(queue, r2, 20000);
    queue.wakeUpAll();
    c1.join();
    c2.join();
    EXPECT_EQ("<none>", r1);
    EXPECT_EQ("<none>", r2);
    EXPECT_LT(sftest::elapsedMs(start), 15000) << "released by the wake-up, not the time-out";
    EXPECT_EQ(0, queue.waiterCount());

    queue.enqueueTask(named("later"), false);
    EXPECT_EQ(1, queue.size()) << "released consumers no longer take hand-overs";
}

TEST(TaskQueueTest, ClearDropsQueuedTasksAndLeavesConsumersWaiting) {
    TaskQueue queue;
    queue.enqueueTask(named("a"), false);
    queue.enqueueTask(named("b"), false);
    queue.clear();
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(nullptr, queue.dequeueTask());

    std::string got;
    std::thread consumer = startConsumer(queue, got);
    queue.clear();
    EXPECT_EQ(1, queue.waiterCount());
    queue.enqueueTask(named("after-clear"), false);
    consumer.join();
    EXPECT_EQ("after-clear", got);
}

TEST(TaskQueueTest, RemoveTaskTakesOutOnlyAQueuedTask) {
    TaskQueue queue;
    TaskPtr a = named("a");
    TaskPtr b = named("b");
    queue.enqueueTask(a, false);
    queue.enqueueTask(b, false);
    EXPECT_TRUE(queue.removeTask(a));
    EXPECT_FALSE(queue.removeTask(a));
    EXPECT_FALSE(queue.removeTask(named("a"))) << "found by identity, not by name";
    EXPECT_EQ(1, queue.size());
    EXPECT_EQ(b, queue.dequeueTask());
    EXPECT_FALSE(queue.removeTask(b));
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
    constexpr int kProducers = 3;
    constexpr int kPerProducer = 3000;
    constexpr int kTotal = kProducers * kPerProducer;
    std::vector<std::atomic<int>> runs(kTotal);
    std::atomic<int> produced{0};

    auto makeCounted = [&runs](int id) {
        return std::make_shared<KORCoreUtils::FunctionTask>([&runs, id] { ++runs[id]; },
                                                            std::to_string(id));
    };

    std::vector<std::thread> consumers;
    for (int c = 0; c < 3; ++c) {
        consumers.emplace_back([&] {
            while (produced.load() < kTotal || queue.size() > 0) {
                if (TaskPtr task = queue.waitDequeueTask(1)) {
                    task->execute();
                }
            }
        });
    }
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPerProducer; ++i) {
                queue.enqueueTask(makeCounted(p * kPerProducer + i), i % 7 == 0);
                ++produced;
            }
        });
    }
    for (auto& producer : producers) {
        producer.join();
    }
    for (auto& consumer : consumers) {
        consumer.join();
    }
    while (TaskPtr task = queue.dequeueTask()) {
        task->execute();
    }
    int wrong = 0;
    for (int id = 0; id < kTotal; ++id) {
        if (runs[id].load() != 1) {
            ++wrong;
        }
    }
    EXPECT_EQ(0, wrong) << "tasks lost or run twice";
}

}  // namespace
