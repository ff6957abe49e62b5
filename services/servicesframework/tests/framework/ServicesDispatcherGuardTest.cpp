#include <ZAMUnified/ServicesDispatcher.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/DispatcherFixture.h"
#include "support/OnThread.h"

// The services dispatcher's guards (queue size notes, slow tasks, stalled queues, callers kept
// waiting) and its statistics.
namespace {

class DispatcherGuardTest : public DispatcherTest {};

// The statistics' figures that do not depend on timing.
std::string counts(const ServicesDispatcher::Statistics& s) {
    return "queued " + std::to_string(s.queueSize) + ", running '" + s.runningTaskName + "', run " +
           std::to_string(s.tasksRun) + ", over " + std::to_string(s.tasksOverGuardTime) +
           (s.anyTaskCompleted ? ", completed" : ", none completed");
}

// A caller blocked in enqueueBlock while the host does not pump used to wait without a word, even
// at debug level. Every report period (kGuardExecutionTimeMs, shortened here) a warning names the
// task; once the dispatcher thread has taken the task up, the reports stop however long it runs.
TEST_F(DispatcherGuardTest, AWaitForTheDispatcherThreadIsReportedEveryPeriodUntilTakenUp) {
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

// The guards and the statistics.

TEST_F(DispatcherGuardTest, QueueSizeNotesWatchTheGuardSize) {
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

TEST_F(DispatcherGuardTest, NotLoggableTasksStayUnloggedAtExecutionForGood) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    enqueue("quiet", false, false);
    enqueue("quiet", false, false);
    enqueue("quiet");
    enqueue("loud");
    enqueue("", false, false);
    EXPECT_EQ(
        "D updateNotLoggableTasks: Not loggable task: quiet\nD enqueue: ServicesDispatcher."
        "enqueue: quiet\nD enqueue: ServicesDispatcher.enqueue: loud\n",
        logText());
    EXPECT_FALSE(dispatcher.isTaskLoggable("quiet"));
    EXPECT_TRUE(dispatcher.isTaskLoggable("loud"));
    EXPECT_TRUE(dispatcher.isTaskLoggable(""));

    log_.forget();
    log_.setLevel(ZAMLOG_LEVEL_TRACE);
    dispatcher.pumpAll();
    const std::vector<long> ran =
        numbersIn(logText(), ranAtDebug("loud") + ranAtDebug("") + "T pumpAll:  pumpAll.exit \n");
    EXPECT_LE(std::max(ran.at(0), ran.at(2)), 2000);

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
TEST_F(DispatcherGuardTest, GuardsReportASlowTaskAndTheQueueItStalled) {
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
    EXPECT_GT(std::min(slow.at(0), slow.at(1)), 2000);

    // "slow" is done; the front task has now waited over two seconds in a queue of seven.
    log_.forget();
    enqueue("late");
    const std::vector<long> stalled = numbersIn(
        logText(),
        "W warnOnDispatcherThreadBusy: The first task on the queue has been waiting for [#] "
        "milliseconds exceeding the guard queued time of [2000] milliseconds. Queue size reached "
        "[7] task exceeding the guard size of [5] tasks. The last executed task was completed [#] "
        "milliseconds ago\n");
    EXPECT_GT(stalled.at(0), 2000);
    EXPECT_LT(stalled.at(1), 2000);

    log_.forget();
    dispatcher.pumpAll();
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_WARNING).empty());

    // The same run in the statistics: one of eight tasks over the guard time, and the tasks
    // queued behind "slow" waited as long as it ran.
    const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 8, over 1, completed", counts(statistics));
    EXPECT_GE(statistics.longestExecution, milliseconds(2050));
    EXPECT_GT(statistics.longestWait, milliseconds(2000));
}

// A task that ends by an exception has completed at that moment: the guard stops timing it (it
// used to warn, on the next enqueue seconds later, that the task "has been running" since its
// pick-up) and the statistics agree that nothing runs. One row per way out of a task.
TEST(ServicesDispatcherGuardTest, ATaskThatThrowsHasCompletedWhenItThrows_NEGATIVE) {
    const auto throwing = [] { throw std::runtime_error("task failed"); };
    for (const std::string way : {"pumpAll", "pumpNext", "through a nested pump", "enqueueBlock"}) {
        SCOPED_TRACE(way);
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
        EXPECT_LE(statistics.sinceLastCompletion, milliseconds(sinceStart + 1));
        EXPECT_EQ(std::string("queued 0, running '', run ") + (way[0] == 't' ? "2" : "1") +
                      ", over 0, completed",
                  counts(statistics));
    }
}

TEST_F(DispatcherGuardTest, StatisticsFollowAScriptedSequenceOfTasks) {
    const ServicesDispatcher::Statistics idle = dispatcher.getStatistics();
    EXPECT_EQ("queued 0, running '', run 0, over 0, none completed", counts(idle));
    EXPECT_EQ(std::vector<long>(5, 0),
              (std::vector<long>{idle.frontTaskWait.count(), idle.runningFor.count(),
                                 idle.longestExecution.count(), idle.longestWait.count(),
                                 idle.sinceLastCompletion.count()}));

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
    EXPECT_EQ(0, done.runningFor.count());
    // "measured" took the longest, and "outer" waited behind it; nothing took longer than all.
    EXPECT_GE(std::min(done.longestExecution, done.longestWait), milliseconds(20));
    EXPECT_LE(std::max({done.longestExecution, done.longestWait, done.sinceLastCompletion}),
              milliseconds(total + 1));

    // clear() drops tasks without counting them.
    enqueue("dropped");
    dispatcher.clear();
    EXPECT_EQ("queued 0, running '', run 4, over 0, completed", counts(dispatcher.getStatistics()));
}

// pumpAll takes a task that follows a quiet one at the time the quiet one completed. That
// time must be its own pump's: a task pumped after an idle spell is not charged for the spell;
// and tasks queued from another thread while pumps take one another's times all run once.
TEST_F(DispatcherGuardTest, APumpTimesEachTaskFromItsOwnPickUp) {
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
