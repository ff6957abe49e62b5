#include <ZAMUnified/ServicesDispatcher.h>

#include <KORCoreUtils.h>
#include <ZAMLogger.h>
#include <ZAMUnified/AccessGuard.h>
#include <ZAMUnified/DispatcherAccessException.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/LogLines.h"
#include "support/Deadline.h"
#include "support/LogCapture.h"
#include "support/OnThread.h"

// The services dispatcher: its thread, queue and pumps; its guards (queue size notes, slow tasks,
// stalled queues) and statistics; and callers that wait for the dispatcher thread.
namespace {

using sftest::elapsedMs;
using sftest::joined;
using sftest::LogCapture;
using sftest::logLines;
using sftest::numbersIn;
using ZAMUnified::ServicesDispatcher;
using Names = std::vector<std::string>;
using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A dispatcher owned by the test's thread, and the records of the "services-dispatcher" logger,
// captured at info level.
class DispatcherTest : public ::testing::Test {
  protected:
    // The records so far, one line each (see logLines), all from the dispatcher's source.
    std::vector<std::string> lines() {
        return logLines(log_.records(),
                        "services/servicesframework/src/framework/ServicesDispatcher");
    }
    std::string logText() { return joined(lines()); }

    // A task that notes its name in ran_; enqueue() queues one, loggable.
    std::function<void()> note(const std::string& name) {
        return [this, name] { ran_.push_back(name); };
    }
    void enqueue(const std::string& name, bool urgent = false, bool loggable = true) {
        dispatcher.enqueue(note(name), name, urgent, loggable);
    }

    std::vector<std::string> ran_;
    LogCapture log_{{"services-dispatcher"}};
    ServicesDispatcher dispatcher;
};

// Waits `ms` on an event nobody sets: a bounded wait that makes a task take measurable time.
void takeAtLeast(long ms) {
    const auto start = std::chrono::steady_clock::now();
    zam::Event never(true);
    while (elapsedMs(start) < ms) {
        (void)never.timedWait(ms - elapsedMs(start));
    }
}

// The two debug lines of a task run at debug level; '#' stands for its times.
std::string ranAtDebug(const std::string& name) {
    return "D executeTask:  executing (" + name + ")\nD executeTask:  executed (" + name +
           ") in [#] milliseconds. Waiting time was [#] milliseconds\n";
}

// The statistics' figures that do not depend on timing, and their times in microseconds.
std::string counts(const ServicesDispatcher::Statistics& s) {
    return "queued " + std::to_string(s.queueSize) + ", running '" + s.runningTaskName + "', run " +
           std::to_string(s.tasksRun) + ", over " + std::to_string(s.tasksOverGuardTime) +
           (s.anyTaskCompleted ? ", completed" : ", none completed");
}
std::string times(const ServicesDispatcher::Statistics& s) {
    std::string text;
    for (std::chrono::microseconds time : {s.frontTaskWait, s.runningFor, s.longestExecution,
                                           s.longestWait, s.sinceLastCompletion}) {
        text += std::to_string(time.count()) + " ";
    }
    return text;
}

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

TEST_F(DispatcherTest, UrgentTasksRunFirstLaterOnesBeforeEarlierOnes) {
    enqueue("normal1");
    enqueue("urgent1", true);
    enqueue("urgent2", true);
    enqueue("normal2");
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

TEST_F(DispatcherTest, NullTasksAreRefusedAndLeaveTheQueueAlone_NEGATIVE) {
    enqueue("kept");
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), false, true), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueue(TaskPtr(), true, false), std::invalid_argument);
    EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    onOtherThread([&] {
        EXPECT_THROW(dispatcher.enqueueBlock(TaskPtr(), false, true), std::invalid_argument);
    });
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_TRUE(log_.records().empty());
}

// How long a wait for a dispatcher task took, in milliseconds; without limit when `timeOut` is 0.
long waitedMs(ServicesDispatcher& dispatcher, long timeOut) {
    const auto start = std::chrono::steady_clock::now();
    if (timeOut == 0) {
        dispatcher.waitForDispatcherTask();
    } else {
        dispatcher.waitForDispatcherTask(timeOut);
    }
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
    for (const std::atomic<int>& count : runs) {
        wrong += count.load() != 1 ? 1 : 0;
    }
    EXPECT_EQ(0, wrong.load());
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
    for (const auto& [end, how] : ends) {
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

// A caller blocked in enqueueBlock while the host does not pump used to wait without a word, even
// at debug level. Every report period (kGuardExecutionTimeMs, shortened here) a warning names the
// task; once the dispatcher thread has taken the task up, the reports stop however long it runs.
TEST_F(DispatcherTest, AWaitForTheDispatcherThreadIsReportedEveryPeriodUntilTakenUp) {
    dispatcher.setWaitReportPeriodForTest(milliseconds(40));
    std::size_t reportsAtPickUp = 0;
    {
        sftest::OnThread caller([&] {
            dispatcher.enqueueBlock(
                [&] {
                    reportsAtPickUp = log_.messages(ZAMLOG_LEVEL_WARNING).size();
                    takeAtLeast(200);
                },
                "late", false, true);
        });
        EXPECT_TRUE(
            sftest::eventually([&] { return log_.messages(ZAMLOG_LEVEL_WARNING).size() >= 2; }));
        dispatcher.pumpAll();
        EXPECT_TRUE(caller.returns());
    }

    // One report may have been on its way at the pick-up; the task ran for five periods.
    const std::vector<std::string> reports = lines();
    EXPECT_LE(reports.size(), reportsAtPickUp + 1) << "reported while the task ran";
    ASSERT_GE(reports.size(), 2u);
    long previous = 0;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const long waited = numbersIn(reports[i],
                                      "W enqueueBlock: Task 'BT-late' has waited [#] milliseconds "
                                      "for the dispatcher thread, which has not run it yet")
                                .at(0);
        EXPECT_GE(waited, 40 * static_cast<long>(i + 1)) << "one report per further period";
        EXPECT_GT(waited, previous);
        previous = waited;
    }
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

// The guards and the statistics.

TEST_F(DispatcherTest, QueueSizeNotesWatchTheGuardSize) {
    const auto enqueueSome = [this](int tasks) {
        for (int i = 0; i < tasks; ++i) {
            enqueue("t");
        }
    };
    enqueueSome(5);
    EXPECT_EQ("", logText()) << "five queued tasks are within the guard size";
    enqueueSome(2);
    EXPECT_EQ(
        "I warnOnDispatcherThreadBusy: Task queue has reached the size of [6]. No tasks have been "
        "run yet\nI warnOnDispatcherThreadBusy: Task queue has reached the size of [7]. No tasks "
        "have been run yet\n",
        logText());

    log_.forget();
    dispatcher.pumpNext();  // leaves 6
    EXPECT_EQ("", logText());
    dispatcher.pumpNext();  // leaves 5
    EXPECT_EQ("I nextTask: Task queue is back to a safe size\n", logText());

    // A task has been run now: a larger queue is no longer announced, and quick tasks raise no
    // guard warning.
    log_.forget();
    enqueueSome(2);
    EXPECT_EQ("", logText());
    dispatcher.clear();  // 7 queued
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_EQ("I clear: Task queue is back to a safe size (cleared)\n", logText());

    log_.forget();
    enqueueSome(5);
    dispatcher.clear();
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_EQ("", logText()) << "five cleared tasks were within the guard size";
}

TEST_F(DispatcherTest, NotLoggableTasksStayUnloggedAtExecutionForGood) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    enqueue("quiet", false, false);
    enqueue("quiet", false, false);
    enqueue("quiet");
    enqueue("loud");
    enqueue("", false, false);
    EXPECT_EQ(
        "D updateNotLoggableTasks: Not loggable task: quiet\nD enqueue: "
        "ServicesDispatcher.enqueue: "
        "quiet\nD enqueue: ServicesDispatcher.enqueue: loud\n",
        logText());
    EXPECT_FALSE(dispatcher.isTaskLoggable("quiet"));
    EXPECT_TRUE(dispatcher.isTaskLoggable("loud"));
    EXPECT_TRUE(dispatcher.isTaskLoggable(""));

    log_.forget();
    log_.setLevel(ZAMLOG_LEVEL_TRACE);
    dispatcher.pumpAll();
    const std::vector<long> ran =
        numbersIn(logText(), ranAtDebug("loud") + ranAtDebug("") + "T pumpAll:  pumpAll.exit \n");
    ASSERT_EQ(4u, ran.size());
    EXPECT_LE(ran[0], 2000);
    EXPECT_LE(ran[2], 2000);

    // At info level nothing of this is even composed.
    log_.forget();
    log_.setLevel(ZAMLOG_LEVEL_INFO);
    enqueue("loud");
    enqueue("other", false, false);
    dispatcher.pumpAll();
    EXPECT_EQ("", logText());
}

// The guard limits are fixed at 2000 ms, so this one test runs a task just over two seconds; it
// covers the running-task warning, the slow-task report and the stalled-queue warning together.
TEST_F(DispatcherTest, GuardsReportASlowTaskAndTheQueueItStalled) {
    dispatcher.enqueue(
        [&] {
            takeAtLeast(2050);
            enqueue("while slow");  // sixth queued task
        },
        "slow", false, true);
    for (int i = 0; i < 5; ++i) {
        enqueue("waiting");
    }
    log_.forget();
    dispatcher.pumpNext();  // runs "slow"

    const std::vector<long> slow = numbersIn(
        logText(),
        "I nextTask: Task queue is back to a safe size\nW warnOnDispatcherThreadBusy: Task 'slow' "
        "has been running for [#] milliseconds exceeding the guard execution time of [2000] "
        "milliseconds. Current queue size is [6] task\n"
        // Reported at info whatever the debug level.
        "I executeTask:  executed (slow) in [#] milliseconds. This task exceeded the guard "
        "execution time of [2000] milliseconds. Waiting time was [#] milliseconds\n");
    ASSERT_EQ(3u, slow.size());
    EXPECT_GT(slow[0], 2000);
    EXPECT_GT(slow[1], 2000);

    // "slow" is done; the front task has now waited over two seconds in a queue of seven.
    log_.forget();
    enqueue("late");
    const std::vector<long> stalled = numbersIn(
        logText(),
        "W warnOnDispatcherThreadBusy: The first task on the queue has been waiting for [#] "
        "milliseconds exceeding the guard queued time of [2000] milliseconds. Queue size reached "
        "[7] task exceeding the guard size of [5] tasks. The last executed task was completed [#] "
        "milliseconds ago\n");
    ASSERT_EQ(2u, stalled.size());
    EXPECT_GT(stalled[0], 2000);
    EXPECT_LT(stalled[1], 2000);

    log_.forget();
    dispatcher.pumpAll();
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_WARNING).empty());

    // The same run in the statistics: one of eight tasks over the guard time, and the tasks
    // queued behind "slow" waited as long as it ran.
    const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 8, over 1, completed", counts(statistics));
    EXPECT_GE(statistics.longestExecution, std::chrono::milliseconds(2050));
    EXPECT_GT(statistics.longestWait, std::chrono::milliseconds(2000));
}

// A task that ends by an exception has completed at that moment: the guard stops timing it (it
// used to warn, on the next enqueue seconds later, that the task "has been running" since its
// pick-up) and the statistics agree that nothing runs. One row per way out of a task.
TEST(ServicesDispatcherGuardTest, ATaskThatThrowsHasCompletedWhenItThrows_NEGATIVE) {
    const auto throwing = [] { throw std::runtime_error("task failed"); };
    for (const char* how : {"pumpAll", "pumpNext", "through a nested pump", "enqueueBlock"}) {
        SCOPED_TRACE(how);
        const std::string way = how;
        ServicesDispatcher dispatcher;
        const auto start = std::chrono::steady_clock::now();
        try {
            if (way == "enqueueBlock") {  // on the dispatcher thread: run at once
                dispatcher.enqueueBlock(throwing, "bad", false, true);
            } else if (way == "through a nested pump") {
                dispatcher.enqueue(
                    [&] {
                        dispatcher.enqueue(throwing, "bad", true, true);
                        dispatcher.pumpNext();
                    },
                    "outer", false, true);
                dispatcher.pumpAll();
            } else {
                dispatcher.enqueue(throwing, "bad", false, true);
                way == "pumpAll" ? dispatcher.pumpAll() : dispatcher.pumpNext();
            }
            ADD_FAILURE() << "the exception did not come out";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ("task failed", error.what());
        }
        EXPECT_TRUE(dispatcher.wasLastPickedUpTaskCompleted());
        const long sinceCompletion = dispatcher.computeTimeElapsedSinceLastTaskCompletion().count();
        const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
        // Read after both: the task completed after `start`, so neither can be longer, however
        // slowly this runs.
        const long sinceStart = elapsedMs(start);
        EXPECT_LE(sinceCompletion, sinceStart);
        EXPECT_EQ(std::string("queued 0, running '', run ") + (way[0] == 't' ? "2" : "1") +
                      ", over 0, completed",
                  counts(statistics));
        EXPECT_LE(statistics.sinceLastCompletion, std::chrono::milliseconds(sinceStart + 1));
    }
}

TEST_F(DispatcherTest, StatisticsFollowAScriptedSequenceOfTasks) {
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    const ServicesDispatcher::Statistics idle = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 0, over 0, none completed", counts(idle));
    EXPECT_EQ("0 0 0 0 0 ", times(idle));

    const auto start = std::chrono::steady_clock::now();
    ServicesDispatcher::Statistics duringMeasured, fromOtherThread, duringInner, afterInner;
    dispatcher.enqueue(
        [&] {
            duringMeasured = dispatcher.getStatistics();
            // Read from another thread while this task runs: the snapshot does not wait for it.
            std::thread reader([&] { fromOtherThread = dispatcher.getStatistics(); });
            reader.join();
            takeAtLeast(20);
        },
        "measured", false, true);
    enqueue("second");
    dispatcher.enqueue(
        [&] {
            dispatcher.enqueue([&] { duringInner = dispatcher.getStatistics(); }, "inner", true,
                               true);
            dispatcher.pumpNext();
            afterInner = dispatcher.getStatistics();
        },
        "outer", false, true);
    const ServicesDispatcher::Statistics queued = dispatcher.getStatistics();
    EXPECT_EQ("queued 3, running '', run 0, over 0, none completed", counts(queued));
    EXPECT_LE(queued.frontTaskWait, milliseconds(elapsedMs(start)));

    dispatcher.pumpAll();
    const long total = elapsedMs(start);

    EXPECT_EQ("queued 2, running 'measured', run 0, over 0, none completed",
              counts(duringMeasured));
    EXPECT_EQ(counts(duringMeasured), counts(fromOtherThread));
    EXPECT_GE(fromOtherThread.runningFor, duringMeasured.runningFor);

    // A nested pump shows its own task, then the outer one again.
    EXPECT_EQ("queued 0, running 'inner', run 2, over 0, completed", counts(duringInner));
    EXPECT_EQ("queued 0, running 'outer', run 3, over 0, completed", counts(afterInner));

    const ServicesDispatcher::Statistics done = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 4, over 0, completed", counts(done));
    EXPECT_EQ(microseconds(0), done.runningFor);
    EXPECT_GE(done.longestExecution, milliseconds(20)) << "\"measured\" took the longest";
    EXPECT_LE(done.longestExecution, milliseconds(total + 1));
    EXPECT_GE(done.longestWait, milliseconds(20)) << "\"outer\" waited behind \"measured\"";
    EXPECT_LE(done.longestWait, milliseconds(total + 1));
    EXPECT_LE(done.sinceLastCompletion, milliseconds(total + 1));

    // clear() drops tasks without counting them.
    enqueue("dropped");
    dispatcher.clear();
    EXPECT_EQ("queued 0, running '', run 4, over 0, completed", counts(dispatcher.getStatistics()));
}

// pumpAll takes a task that follows a quiet one at the time the quiet one completed. That
// time must be its own pump's: a task pumped after an idle spell is not charged for the spell;
// and tasks queued from another thread while pumps take one another's times all run once.
TEST_F(DispatcherTest, APumpTimesEachTaskFromItsOwnPickUp) {
    using std::chrono::milliseconds;
    enqueue("quiet");
    dispatcher.enqueue([&] { takeAtLeast(20); }, "busy", false, true);
    dispatcher.pumpAll();
    const auto idleFrom = std::chrono::steady_clock::now();
    takeAtLeast(150);
    enqueue("after idle");
    dispatcher.pumpAll();
    const long idle = elapsedMs(idleFrom);
    ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ(3u, statistics.tasksRun);
    EXPECT_GE(statistics.longestExecution, milliseconds(20));
    EXPECT_LT(statistics.longestExecution, milliseconds(150)) << "the idle spell was charged";
    EXPECT_LT(statistics.longestWait, milliseconds(idle));

    // A bounded producer: a pump runs what is queued meanwhile too, so one that never stopped
    // could keep a slow (sanitized) pump from ever returning.
    constexpr int kRacing = 20000;
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int i = 0; i < kRacing; ++i) {
            enqueue("racing");
        }
        done = true;
    });
    while (!done.load()) {
        dispatcher.pumpAll();
    }
    producer.join();
    dispatcher.pumpAll();
    statistics = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 20003, over 0, completed", counts(statistics));
}

}  // namespace
