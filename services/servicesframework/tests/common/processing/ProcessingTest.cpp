#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/Processing/TaskQueue.h>

#include <gtest/gtest.h>

#include <climits>
#include <future>

#include "common/TestTasks.h"
#include "support/LogCapture.h"
#include "support/LogLines.h"

namespace {

using namespace sftest;
using ZAMUnified::Processing::TaskQueue;

std::string nameOf(const TaskPtr& task) {
    return task ? task->name() : "<none>";
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
    std::string order;
    while (TaskPtr task = queue.dequeueTask()) {
        order += task->name() + " ";
    }
    EXPECT_EQ("d c a b ", order);
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
// after which the consumer no longer counts as waiting; a queued task is taken without a wait. A
// time-out too large for the clock means "no limit" (a host passing LONG_MAX used to get an empty
// return at once; ConditionTest holds the rows around the clock's end, whose deadline the queue
// shares). Zero and negative ones take a queued task or give up at once.
TEST(TaskQueueTest, NullTasksAreIgnoredAndWaitsEndWithATaskOrAtTheirTimeOut) {
    TaskQueue queue;
    EXPECT_EQ(nullptr, queue.dequeueTask());
    queue.enqueueTask(TaskPtr(), false);
    queue.enqueueUrgentTask(TaskPtr());
    EXPECT_EQ(0, queue.size());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nullptr, queue.waitDequeueTask(100));
    EXPECT_GE(elapsedMs(start), 100);
    EXPECT_EQ(0, queue.waiterCount()) << "a timed-out consumer must unregister";
    for (long timeOut : {10000L, 0L, -1L, LONG_MIN}) {
        SCOPED_TRACE(timeOut);
        const auto start = std::chrono::steady_clock::now();
        if (timeOut < 1) {
            EXPECT_EQ(nullptr, queue.waitDequeueTask(timeOut));
        }
        queue.enqueueTask(named("queued"), false);
        EXPECT_EQ("queued", nameOf(queue.waitDequeueTask(timeOut)));
        EXPECT_LT(elapsedMs(start), 5000);
        EXPECT_EQ(0, queue.waiterCount());
    }
    auto shared = std::make_shared<TaskQueue>();
    auto got = std::make_shared<std::string>();
    EXPECT_TRUE(waitsUntilWoken([shared, got] { *got = nameOf(shared->waitDequeueTask(LONG_MAX)); },
                                [shared] { shared->enqueueTask(named("wake"), false); }));
    EXPECT_EQ("wake", *got);
    EXPECT_EQ(0, shared->waiterCount());
}

// Tasks go straight to waiting consumers, longest waiting first, and never enter the queue. clear
// drops what is queued but leaves waiting consumers waiting; wakeUpAll releases every consumer
// without a task, long before its time-out, and released ones take no hand-over.
TEST(TaskQueueTest, WaitingConsumersAreHandedTasksUntilWokenUpWithoutOne) {
    TaskQueue queue;
    // Declarators are initialised in order, so the consumers queue up in this order.
    auto first = waitingConsumer(queue), second = waitingConsumer(queue),
         third = waitingConsumer(queue);
    queue.enqueueUrgentTask(named("t1"));
    queue.enqueueTask(named("t2"), true);  // urgency is meaningless for a hand-over
    queue.enqueueTask(named("t3"), false);
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(0, queue.waiterCount());
    EXPECT_EQ("t1 t2 t3", first.get() + " " + second.get() + " " + third.get());

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
    auto woken = waitingConsumer(queue, 20000), alsoWoken = waitingConsumer(queue, 20000);
    queue.wakeUpAll();
    EXPECT_EQ("<none> <none>", woken.get() + " " + alsoWoken.get());
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
// must come out exactly once, through a consumer; they leave only when the queue is empty.
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
    EXPECT_EQ(0, queue.size());
    EXPECT_EQ(kTotal, std::count_if(runs.begin(), runs.end(), [](auto& run) { return run == 1; }))
        << "tasks lost or run twice";
}

// Each form reaches the pool with its own urgency, so the urgent ones, function and task, run
// before the normal ones, and the statistics are the pool's. Enqueued tasks are logged at debug
// with the queue size before, and only then: function forms and null tasks are not logged, and the
// pool refuses a null task with a line of its own. enqueueAndWait passes on the pool's answer
// whether the task ran. (ThreadPoolTest covers tasks dropped by clearQueue and the pool's end, and
// the blocking enqueues a busy pool's own threads make, such as the factory's background
// dispatcher met.)
TEST(TaskDispatcherTest,
     UrgentFormsRunFirstAndTaskEnqueuesAreLoggedWithTheQueueSizeBefore_NEGATIVE) {
    LogCapture log({"TaskDispatcher"}, ZAMLOG_LEVEL_DEBUG);
    ZAMUnified::Processing::TaskDispatcher dispatcher("logged", 1, 100);
    std::string ran;
    EXPECT_TRUE(dispatcher.enqueueAndWait([&] { ran += "function "; }, "quiet"));
    EXPECT_TRUE(dispatcher.enqueueAndWait(task([&] { ran += "task"; }, "fill")));
    EXPECT_EQ("function task", ran);
    dispatcher.enqueueBlock(task([] {}, "X"));
    dispatcher.enqueueBlock([] {}, "quiet");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(dispatcher.enqueueAndWait(TaskPtr()));
    dispatcher.enqueue(TaskPtr());
    dispatcher.enqueueUrgent(TaskPtr());
    dispatcher.enqueueBlock(TaskPtr());
    const std::string refused =
        "ThreadPool \"logged\": a null task was given to enqueue and is ignored\n";
    EXPECT_EQ(refused + refused + refused + refused, testing::internal::GetCapturedStderr());
    HeldTasks held;
    // Written on the one pool thread, read after a blocking enqueue.
    std::vector<std::string> order;
    auto recording = [&](const std::string& name) {
        return [&order, name] { order.push_back(name); };
    };
    dispatcher.enqueue(held.make());
    ASSERT_TRUE(started(held, 1));
    dispatcher.enqueue(task(recording("Y"), "Y"));
    dispatcher.enqueueUrgent(task(recording("Z"), "Z"));
    dispatcher.enqueue(recording("n"), "quiet");
    dispatcher.enqueueUrgent(recording("u"), "quiet");
    EXPECT_EQ(4u, dispatcher.queueSize());
    EXPECT_EQ("alive 1, busy 1, urgent 2, normal 2, run 4", describe(dispatcher.getStatistics()));
    log.setLevel(ZAMLOG_LEVEL_INFO);  // below debug nothing is logged
    dispatcher.enqueue(task([] {}, "unseen"));
    held.open();
    dispatcher.enqueueBlock(recording("last"), "last");
    EXPECT_EQ((std::vector<std::string>{"Z", "u", "Y", "n", "last"}), order);
    EXPECT_EQ(
        "D enqueueAndWait: EnqueueAndWait fill - Queue Size: 0\n"
        "D enqueueBlock: EnqueueBlock X - Queue Size: 0\n"
        "D enqueue: Enqueue holder - Queue Size: 0\n"
        "D enqueue: Enqueue Y - Queue Size: 0\n"
        "D enqueueUrgent: EnqueueUrgent Z - Queue Size: 1\n",
        joined(logLines(log.records(),
                        "services/servicesframework/src/common/processing/TaskDispatcher")));
}

}  // namespace
