#include <ZAMUnified/ServicesDispatcher.h>

#include <KORCoreUtils.h>
#include <ZAMUnified/AccessGuard.h>
#include <ZAMUnified/DispatcherAccessException.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/DispatcherFixture.h"
#include "support/OnThread.h"

// The services dispatcher: its thread, queue and pumps, and callers that wait for the dispatcher
// thread. Its guards and statistics are in ServicesDispatcherGuardTest.cpp.
namespace {

using Steady = std::chrono::steady_clock;

// Runs `body` on a new thread and waits for it within the deadline.
template <typename Body>
void onOtherThread(Body body) {
    sftest::OnThread thread(body);
    EXPECT_TRUE(thread.returns());
}

std::uint64_t thisThread() {
    return KORCoreUtils::ThreadUtils::getCurrentThreadId();
}

// The name a refusal of `call` carries, or "(not refused)".
std::string refusedName(const std::function<void()>& call) {
    try {
        call();
    } catch (ZAMUnified::DispatcherAccessException& refused) {
        return refused.getName();
    }
    return "(not refused)";
}

TEST_F(DispatcherTest, OtherThreadsAreRefusedWithoutTouchingTheQueueUntilTheyTakeTheRoleOver) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    enqueue("one");
    enqueue("two");
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    const std::uint64_t host = thisThread();
    std::uint64_t other = 0;
    log_.forget();

    onOtherThread([&] {
        other = thisThread();
        EXPECT_FALSE(dispatcher.checkForUpdateAccess());
        EXPECT_EQ("", refusedName([&] { dispatcher.pumpAll(); }));
        EXPECT_EQ("", refusedName([&] { dispatcher.pumpNext(); }));
        EXPECT_EQ("Balance", refusedName([&] { dispatcher.ensureUpdateAccess("Balance"); }));
        EXPECT_EQ(2, dispatcher.getQueueSize());
        EXPECT_TRUE(ran_.empty());

        dispatcher.resetDispatcherThread();
        EXPECT_TRUE(dispatcher.checkForUpdateAccess());
        dispatcher.pumpAll();
    });
    EXPECT_EQ((Names{"one", "two"}), ran_);
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_FALSE(dispatcher.checkForUpdateAccess());
    EXPECT_EQ("", refusedName([&] { dispatcher.pumpNext(); }));

    const std::string refusal =
        "D ensureUpdateAccess: ensureUpdateAccess An illegal attempt to access  was made from a "
        "non dispatcher thread\n";
    std::ostringstream reset;
    reset << "D resetDispatcherThread: Reset dispatcher thread from [0x" << std::hex << host
          << "] to [0x" << other << "]\n";
    EXPECT_EQ(
        4u, numbersIn(logText(), refusal + refusal +
                                     "D ensureUpdateAccess: ensureUpdateAccess An illegal "
                                     "attempt to access Balance was made from a non "
                                     "dispatcher thread\n" +
                                     reset.str() + ranAtDebug("one") + ranAtDebug("two") + refusal)
                .size());

    // Taking the role back is logged once; a reset by the thread that has the role logs nothing.
    log_.forget();
    dispatcher.resetDispatcherThread();
    dispatcher.resetDispatcherThread();
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    EXPECT_EQ(1u, log_.records().size());
}

// Null tasks are refused and leave the queue alone.
TEST_F(DispatcherTest, UrgentTasksRunFirstLaterOnesBeforeEarlierOnesNullOnesNot_NEGATIVE) {
    enqueue("normal1");
    enqueue("urgent1", true);
    enqueue("urgent2", true);
    enqueue("normal2");
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), false, true), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), true, false), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    onOtherThread([&] {
        EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    });
    EXPECT_EQ(4, dispatcher.getQueueSize());
    EXPECT_TRUE(log_.records().empty());
    dispatcher.pumpAll();
    EXPECT_EQ((Names{"urgent2", "urgent1", "normal1", "normal2"}), ran_);
    EXPECT_EQ("normal2", dispatcher.getLastTaskName());
}

TEST_F(DispatcherTest, TasksQueuedDuringAPumpRunInTheSameCallAndTasksMayPumpAgain) {
    dispatcher.enqueue(
        [&] {
            ran_.push_back("first");
            dispatcher.enqueue(note("queued by first"), "b", false, true);
        },
        "a", false, true);
    dispatcher.enqueue(
        [&] {
            ran_.push_back("pumping");
            dispatcher.enqueue(note("nested next"), "d", false, true);
            dispatcher.pumpNext();  // runs "queued by first", which is at the front
            dispatcher.pumpAll();   // runs "nested next"
            ran_.push_back("pumping done");
        },
        "c", false, true);
    dispatcher.pumpAll();
    EXPECT_EQ((Names{"first", "pumping", "queued by first", "nested next", "pumping done"}), ran_);
    EXPECT_EQ(0, dispatcher.getQueueSize());
}

// How long a wait for a dispatcher task took, in milliseconds; without limit when `timeOut` is 0.
long waitedMs(ServicesDispatcher& dispatcher, long timeOut) {
    const auto start = std::chrono::steady_clock::now();
    timeOut == 0 ? dispatcher.waitForDispatcherTask() : dispatcher.waitForDispatcherTask(timeOut);
    return elapsedMs(start);
}

TEST_F(DispatcherTest, WaitReturnsForQueuedTasksAndStoredSignalsOnly) {
    // Nothing queued, nothing stored: the wait runs out. (Time-outs of none, or too large for the
    // clock, are the event's: EventTest.TimeOutsTooLargeForTheClockWaitUntilSetAndNoneDoNotWait.)
    EXPECT_GE(waitedMs(dispatcher, 60), 60);

    // Enqueues coalesce into one stored signal, which outlives the pump that emptied the queue.
    enqueue("a");
    enqueue("b");
    dispatcher.waitForDispatcherTask();  // tasks queued: returns at once
    dispatcher.pumpAll();
    EXPECT_LT(waitedMs(dispatcher, 0), 5000) << "empty queue, stored signal: at once";
    EXPECT_GE(waitedMs(dispatcher, 60), 60) << "the signal was consumed";

    // A host blocked without limit is woken by an enqueue on another thread.
    {
        sftest::OnThread host([&] { dispatcher.waitForDispatcherTask(); });
        enqueue("wake");
        EXPECT_TRUE(host.returns());
    }
    dispatcher.pumpAll();
}

// A callback that runs `call` on each enqueue.
struct CallbackOf : ZAMUnified::ServicesDispatcherCallback {
    explicit CallbackOf(std::function<void()> call) : call(std::move(call)) {}
    void onTaskEnqueued() override { call(); }
    std::function<void()> call;
};

TEST_F(DispatcherTest, ACallbackReplacesTheNewTaskEvent) {
    std::atomic<int> calls{0};
    std::atomic<std::uint64_t> lastThread{0};
    dispatcher.setDispatcherCallback(std::make_shared<CallbackOf>([&] {
        ++calls;
        lastThread = thisThread();
    }));
    enqueue("a");
    std::uint64_t producer = 0;
    onOtherThread([&] {
        producer = thisThread();
        enqueue("b", true, false);
    });
    EXPECT_EQ(2, calls.load());
    EXPECT_EQ(producer, lastThread.load()) << "called on the enqueuing thread";
    dispatcher.pumpAll();
    EXPECT_GE(waitedMs(dispatcher, 60), 60) << "no signal was stored by those enqueues";

    // Removing the callback brings the event back.
    dispatcher.setDispatcherCallback(nullptr);
    enqueue("c");
    EXPECT_EQ(2, calls.load());
    dispatcher.pumpAll();
    EXPECT_LT(waitedMs(dispatcher, 10000), 5000);
}

// The enqueue lets go of the task before it calls the callback: a host that pumps from inside the
// callback releases what the task held there and then.
TEST_F(DispatcherTest, ATaskPumpedFromTheCallbackIsReleasedAtOnce) {
    auto held = std::make_shared<int>(1);
    const std::weak_ptr<int> watched = held;
    bool released = false;
    dispatcher.setDispatcherCallback(std::make_shared<CallbackOf>([&] {
        dispatcher.pumpAll();
        released = watched.expired();
    }));
    dispatcher.enqueue([held = std::move(held)] {}, "holds", false, true);
    EXPECT_TRUE(released);
}

TEST_F(DispatcherTest, EnqueueBlockOnTheDispatcherThreadRunsTheTaskAtOnceAsAPumpWould) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    enqueue("queued");
    log_.forget();
    dispatcher.enqueueBlock(note("direct"), "direct", true, true);
    EXPECT_EQ((Names{"direct"}), ran_) << "queued tasks are left for the pump";
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_EQ("BT-direct", dispatcher.getLastTaskName());
    EXPECT_LE(numbersIn(logText(), ranAtDebug("BT-direct")).at(1), 2000);

    // From inside a pumped task, and with the task's exception reaching the caller.
    dispatcher.enqueue(
        [&] {
            dispatcher.enqueueBlock(note("nested"), "nested", false, true);
            EXPECT_THROW(dispatcher.enqueueBlock([] { throw std::runtime_error("boom"); }, "bad",
                                                 false, true),
                         std::runtime_error);
            ran_.push_back("after");
        },
        "outer", false, true);
    dispatcher.pumpAll();
    EXPECT_EQ((Names{"direct", "queued", "nested", "after"}), ran_);

    // Not-loggable bookkeeping applies to the direct run too.
    log_.forget();
    dispatcher.enqueueBlock([] {}, "hushed", false, false);
    EXPECT_EQ("D updateNotLoggableTasks: Not loggable task: BT-hushed\n", logText());
    EXPECT_FALSE(dispatcher.isTaskLoggable("BT-hushed"));
}

TEST_F(DispatcherTest, AThrowingTaskLeavesThePumpAndTheRestQueued_NEGATIVE) {
    dispatcher.enqueue([] { throw std::runtime_error("task failed"); }, "bad", false, true);
    enqueue("after");
    EXPECT_THROW(dispatcher.pumpAll(), std::runtime_error);
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_TRUE(ran_.empty());
    // The pump mutex was released: another thread can take the role over at once.
    onOtherThread([&] {
        dispatcher.resetDispatcherThread();
        dispatcher.pumpAll();
    });
    EXPECT_EQ((Names{"after"}), ran_);
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

TEST(AccessGuardTest, ChecksTheCallingThreadOnlyWhenEnabled) {
    ZAMUnified::AccessGuard guard(std::make_shared<ServicesDispatcher>());
    guard.check("Name", true);
    onOtherThread([&] {
        guard.check("Name", false);
        EXPECT_EQ("Name", refusedName([&] { guard.check("Name", true); }));
    });
    ZAMUnified::AccessGuard without(nullptr);
    without.check("Name", false);
    EXPECT_EQ("Name", refusedName([&] { without.check("Name", true); }));
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
                        (i / 1000) % 2 == 0 ? std::make_shared<CallbackOf>([] {}) : nullptr);
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
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0, std::count_if(runs.begin(), runs.end(), [](const auto& n) { return n != 1; }));
}

// Waiting for the dispatcher thread to run a caller's task.

// enqueueAndWait says whether the task ran: run at once on the dispatcher thread, pumped by the
// host (also when it threw there), or dropped unrun by clear() or by the dispatcher's end.
TEST(ServicesDispatcherWaitTest, EnqueueAndWaitSaysWhetherTheTaskRan_NEGATIVE) {
    auto dispatcher = std::make_unique<ServicesDispatcher>();
    int runs = 0;  // written on this thread, the dispatcher thread, only
    EXPECT_TRUE(dispatcher->enqueueAndWait([&] { ++runs; }, "here", false, true));
    const std::pair<const char*, std::function<void()>> ends[] = {
        {"pumped", [&] { dispatcher->pumpAll(); }},
        {"threw", [&] { EXPECT_THROW(dispatcher->pumpAll(), std::runtime_error); }},
        {"cleared", [&] { dispatcher->clear(); }},
        {"destroyed", [&] { dispatcher.reset(); }},
    };
    for (const auto& [name, how] : ends) {
        const char* end = name;  // a copy: lambdas may not capture a structured binding
        SCOPED_TRACE(end);
        const bool shouldRun = end == ends[0].first || end == ends[1].first;
        bool ran = false;
        sftest::OnThread caller([&, d = dispatcher.get()] {
            ran = d->enqueueAndWait(
                [&] {
                    ++runs;
                    if (end == ends[1].first) {
                        throw std::runtime_error("thrown on the pump");
                    }
                },
                "there", false, true);
        });
        EXPECT_TRUE(sftest::eventually([&] { return dispatcher->getQueueSize() == 1; }));
        how();
        EXPECT_TRUE(caller.returns());
        EXPECT_EQ(shouldRun, ran);
    }
    EXPECT_EQ(3, runs);
}

// runOnDispatcherThread: run at once on the dispatcher thread; from elsewhere true once the host
// has run it, also when it was taken up in time and then ran past the time.
TEST_F(DispatcherTest, RunOnDispatcherThreadWaitsForWhatTheHostTakesUpInTime) {
    bool ranHere = false;
    EXPECT_TRUE(dispatcher.runOnDispatcherThread([&] { ranHere = true; }, milliseconds(0), "here"));
    EXPECT_TRUE(ranHere) << "run at once, whatever the time";
    EXPECT_THROW((void)dispatcher.runOnDispatcherThread(
                     [] { throw std::runtime_error("reaches the caller"); }, sftest::kDeadline,
                     "throws here"),
                 std::runtime_error);

    // Taken up well within its time, then running past it: waited for to the end.
    constexpr milliseconds kTime(200);
    bool answer = false;
    bool finished = false;
    {
        sftest::OnThread caller([&] {
            answer = dispatcher.runOnDispatcherThread(
                [&] {
                    takeAtLeast(2 * kTime.count());
                    finished = true;
                },
                kTime, "outlasts its time");
        });
        dispatcher.waitForDispatcherTask(sftest::kDeadline.count());
        dispatcher.pumpAll();
        EXPECT_TRUE(caller.returns());
    }
    EXPECT_TRUE(answer);
    EXPECT_TRUE(finished);

    // A time too large for the clock is no limit: the caller waits until the host pumps.
    auto shared = std::make_shared<ServicesDispatcher>();
    auto ran = std::make_shared<std::atomic<bool>>(false);
    EXPECT_TRUE(sftest::waitsUntilWoken(
        [shared, ran] {
            *ran = shared->runOnDispatcherThread([] {}, milliseconds::max(), "no limit");
        },
        [shared] {
            ASSERT_TRUE(sftest::eventually([&] { return shared->getQueueSize() == 1; }));
            shared->pumpAll();
        }));
    EXPECT_TRUE(ran->load());
}

// Not taken up within its time, the function is withdrawn: false, and it never runs, not even
// when the host pumps later. A function dropped by clear() did not run either.
TEST_F(DispatcherTest, RunOnDispatcherThreadWithdrawsWhatIsNotTakenUpInTime_NEGATIVE) {
    std::atomic<int> runs{0};
    for (long ms : {60L, 0L, -5L}) {
        SCOPED_TRACE(ms);
        bool answer = true;
        const Steady::time_point called = Steady::now();
        std::thread caller([&] {
            answer = dispatcher.runOnDispatcherThread([&] { ++runs; }, milliseconds(ms), "late");
        });
        caller.join();
        EXPECT_FALSE(answer);
        EXPECT_GE(Steady::now() - called, milliseconds(ms));
        EXPECT_EQ(0, dispatcher.getQueueSize()) << "withdrawn from the queue";
    }
    enqueue("later");
    dispatcher.pumpAll();
    EXPECT_EQ(1u, dispatcher.getStatistics().tasksRun) << "only the later task";

    bool answer = true;
    {
        sftest::OnThread caller([&] {
            answer =
                dispatcher.runOnDispatcherThread([&] { ++runs; }, sftest::kDeadline, "dropped");
        });
        EXPECT_TRUE(sftest::eventually([&] { return dispatcher.getQueueSize() == 1; }));
        dispatcher.clear();
        EXPECT_TRUE(caller.returns());
    }
    EXPECT_FALSE(answer);
    EXPECT_EQ(0, runs.load());
}

}  // namespace
