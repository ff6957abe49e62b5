#include <ZAMUnified/ServicesDispatcher.h>

#include <ZAMLogger.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/ServicesDispatcherFixture.h"
#include "support/Deadline.h"

// The dispatcher's guards (queue size notes, slow tasks, stalled queues) and its statistics.
namespace {

using sftest::DispatcherTest;
using sftest::numbersIn;
using ZAMUnified::ServicesDispatcher;

TEST_F(DispatcherTest, QueueSizeNotesWatchTheGuardSize) {
    for (int i = 1; i <= 5; ++i) {
        dispatcher.enqueue([] {}, "t", false, true);
    }
    EXPECT_TRUE(log_.records().empty()) << "five queued tasks are within the guard size";
    dispatcher.enqueue([] {}, "t", false, true);
    dispatcher.enqueue([] {}, "t", false, true);
    const std::vector<ZAMLogRecord> notes = log_.records();
    ASSERT_EQ(2u, notes.size());
    EXPECT_EQ("Task queue has reached the size of [6]. No tasks have been run yet",
              notes[0].message);
    EXPECT_EQ("Task queue has reached the size of [7]. No tasks have been run yet",
              notes[1].message);
    for (const ZAMLogRecord& note : notes) {
        EXPECT_EQ(ZAMLOG_LEVEL_INFO, note.level);
        EXPECT_EQ("warnOnDispatcherThreadBusy", note.function);
        EXPECT_EQ(kPath, note.file);
    }

    log_.forget();
    dispatcher.pumpNext();  // leaves 6
    EXPECT_TRUE(log_.records().empty());
    dispatcher.pumpNext();  // leaves 5
    const ZAMLogRecord safe = only("Task queue is back to a safe size");
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, safe.level);
    EXPECT_EQ("nextTask", safe.function);

    // A task has been run now: a larger queue is no longer announced, and quick tasks raise no
    // guard warning.
    log_.forget();
    dispatcher.enqueue([] {}, "t", false, true);
    dispatcher.enqueue([] {}, "t", false, true);
    EXPECT_TRUE(log_.records().empty());

    dispatcher.clear();  // 7 queued
    EXPECT_EQ(0, dispatcher.getQueueSize());
    const ZAMLogRecord cleared = only("Task queue is back to a safe size (cleared)");
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, cleared.level);
    EXPECT_EQ("clear", cleared.function);

    log_.forget();
    for (int i = 0; i < 5; ++i) {
        dispatcher.enqueue([] {}, "t", false, true);
    }
    dispatcher.clear();
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_TRUE(log_.records().empty()) << "five cleared tasks were within the guard size";
}

TEST_F(DispatcherTest, NotLoggableTasksStayUnloggedAtExecutionForGood) {
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    dispatcher.enqueue([] {}, "quiet", false, false);
    dispatcher.enqueue([] {}, "quiet", false, false);
    dispatcher.enqueue([] {}, "quiet", false, true);
    dispatcher.enqueue([] {}, "loud", false, true);
    dispatcher.enqueue([] {}, "", false, false);
    EXPECT_EQ(
        (std::vector<std::string>{"Not loggable task: quiet", "ServicesDispatcher.enqueue: quiet",
                                  "ServicesDispatcher.enqueue: loud"}),
        log_.messages(ZAMLOG_LEVEL_DEBUG));
    EXPECT_EQ("updateNotLoggableTasks", only("Not loggable task: quiet").function);
    EXPECT_EQ("enqueue", only("ServicesDispatcher.enqueue: loud").function);
    EXPECT_FALSE(dispatcher.isTaskLoggable("quiet"));
    EXPECT_TRUE(dispatcher.isTaskLoggable("loud"));
    EXPECT_TRUE(dispatcher.isTaskLoggable(""));

    log_.forget();
    log_.setLevel(ZAMLOG_LEVEL_TRACE);
    dispatcher.pumpAll();
    std::vector<std::string> seen;
    for (const ZAMLogRecord& record : log_.records()) {
        EXPECT_EQ(kPath, record.file);
        if (record.level == ZAMLOG_LEVEL_DEBUG) {
            EXPECT_EQ("executeTask", record.function);
            const std::size_t in = record.message.find(") in [");
            seen.push_back(record.message.substr(0, in == std::string::npos ? in : in + 1));
            if (in != std::string::npos) {
                EXPECT_LE(numbersIn(record.message.substr(in),
                                    ") in [#] milliseconds. Waiting time was [#] milliseconds")
                              .at(0),
                          2000);
            }
        } else {
            EXPECT_EQ(ZAMLOG_LEVEL_TRACE, record.level);
            EXPECT_EQ(" pumpAll.exit ", record.message);
            EXPECT_EQ("pumpAll", record.function);
        }
    }
    EXPECT_EQ((std::vector<std::string>{" executing (loud)", " executed (loud)", " executing ()",
                                        " executed ()"}),
              seen);
    EXPECT_EQ(1u, log_.messages(ZAMLOG_LEVEL_TRACE).size());

    // At info level nothing of this is even composed.
    log_.forget();
    log_.setLevel(ZAMLOG_LEVEL_INFO);
    dispatcher.enqueue([] {}, "loud", false, true);
    dispatcher.enqueue([] {}, "other", false, false);
    dispatcher.pumpAll();
    EXPECT_TRUE(log_.records().empty());
}

// The guard limits are fixed at 2000 ms, so this one test runs a task just over two seconds; it
// covers the running-task warning, the slow-task report and the stalled-queue warning together.
TEST_F(DispatcherTest, GuardsReportASlowTaskAndTheQueueItStalled) {
    dispatcher.enqueue(
        [&] {
            const auto start = std::chrono::steady_clock::now();
            zam::Event never(true);
            while (sftest::elapsedMs(start) < 2050) {
                (void)never.timedWait(2050 - sftest::elapsedMs(start));
            }
            dispatcher.enqueue([] {}, "while slow", false, true);  // sixth queued task
        },
        "slow", false, true);
    for (int i = 0; i < 5; ++i) {
        dispatcher.enqueue([] {}, "waiting", false, true);
    }
    log_.forget();
    dispatcher.pumpNext();  // runs "slow"

    std::vector<ZAMLogRecord> seen = log_.records();
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ("Task queue is back to a safe size", seen[0].message);

    EXPECT_EQ(ZAMLOG_LEVEL_WARNING, seen[1].level);
    EXPECT_EQ("warnOnDispatcherThreadBusy", seen[1].function);
    EXPECT_GT(numbersIn(seen[1].message,
                        "Task 'slow' has been running for [#] milliseconds exceeding the guard "
                        "execution time of [2000] milliseconds. Current queue size is [6] task")
                  .at(0),
              2000);
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, seen[2].level) << "reported at info whatever the debug level";
    EXPECT_EQ("executeTask", seen[2].function);
    EXPECT_GT(numbersIn(seen[2].message,
                        " executed (slow) in [#] milliseconds. This task exceeded the guard "
                        "execution time of [2000] milliseconds. Waiting time was [#] milliseconds")
                  .at(0),
              2000);

    // "slow" is done; the front task has now waited over two seconds in a queue of seven.
    log_.forget();
    dispatcher.enqueue([] {}, "late", false, true);
    seen = log_.records();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(ZAMLOG_LEVEL_WARNING, seen[0].level);
    EXPECT_EQ("warnOnDispatcherThreadBusy", seen[0].function);
    const std::vector<long> stalled = numbersIn(
        seen[0].message,
        "The first task on the queue has been waiting for [#] milliseconds exceeding the guard "
        "queued time of [2000] milliseconds. Queue size reached [7] task exceeding the guard size "
        "of [5] tasks. The last executed task was completed [#] milliseconds ago");
    ASSERT_EQ(2u, stalled.size());
    EXPECT_GT(stalled[0], 2000);
    EXPECT_LT(stalled[1], 2000);

    log_.forget();
    dispatcher.pumpAll();
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_WARNING).empty());

    // The same run in the statistics: one of eight tasks over the guard time, and the tasks
    // queued behind "slow" waited as long as it ran.
    const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ(8u, statistics.tasksRun);
    EXPECT_EQ(1u, statistics.tasksOverGuardTime);
    EXPECT_GE(statistics.longestExecution, std::chrono::milliseconds(2050));
    EXPECT_GT(statistics.longestWait, std::chrono::milliseconds(2000));
    EXPECT_TRUE(statistics.anyTaskCompleted);
}

// A task that ends by an exception has completed at that moment: the guard stops timing it (it
// used to warn, on the next enqueue seconds later, that the task "has been running" since its
// pick-up) and the statistics agree that nothing runs. One row per way out of a task.
TEST(ServicesDispatcherGuardTest, ATaskThatThrowsHasCompletedWhenItThrows_NEGATIVE) {
    const auto throwing = [] { throw std::runtime_error("task failed"); };
    struct Row {
        const char* how;
        std::function<void(ServicesDispatcher&)> run;
        std::uint64_t tasksRun;
    };
    const std::vector<Row> rows = {
        {"pumpAll",
         [&](ServicesDispatcher& d) {
             d.enqueue(throwing, "bad", false, true);
             d.pumpAll();
         },
         1},
        {"pumpNext",
         [&](ServicesDispatcher& d) {
             d.enqueue(throwing, "bad", false, true);
             d.pumpNext();
         },
         1},
        {"through a nested pump",
         [&](ServicesDispatcher& d) {
             d.enqueue(
                 [&] {
                     d.enqueue(throwing, "bad", true, true);
                     d.pumpNext();
                 },
                 "outer", false, true);
             d.pumpAll();
         },
         2},
        {"enqueueBlock on the dispatcher thread",
         [&](ServicesDispatcher& d) { d.enqueueBlock(throwing, "bad", false, true); }, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.how);
        ServicesDispatcher dispatcher;
        const auto start = std::chrono::steady_clock::now();
        try {
            row.run(dispatcher);
            ADD_FAILURE() << "the exception did not come out";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ("task failed", error.what());
        }
        EXPECT_TRUE(dispatcher.wasLastPickedUpTaskCompleted());
        const long sinceCompletion = dispatcher.computeTimeElapsedSinceLastTaskCompletion().count();
        const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
        // Read after both: the task completed after `start`, so neither can be longer, however
        // slowly this runs.
        const long sinceStart = sftest::elapsedMs(start);
        EXPECT_LE(sinceCompletion, sinceStart);
        EXPECT_EQ("", statistics.runningTaskName);
        EXPECT_EQ(row.tasksRun, statistics.tasksRun);
        EXPECT_TRUE(statistics.anyTaskCompleted);
        EXPECT_LE(statistics.sinceLastCompletion, std::chrono::milliseconds(sinceStart + 1));
    }
}

// Waits `ms` on an event nobody sets: a bounded wait that makes a task take measurable time.
void takeAtLeast(long ms) {
    const auto start = std::chrono::steady_clock::now();
    zam::Event never(true);
    while (sftest::elapsedMs(start) < ms) {
        (void)never.timedWait(ms - sftest::elapsedMs(start));
    }
}

TEST_F(DispatcherTest, StatisticsFollowAScriptedSequenceOfTasks) {
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    ServicesDispatcher::Statistics idle = dispatcher.getStatistics();
    EXPECT_EQ(0, idle.queueSize);
    EXPECT_EQ(microseconds(0), idle.frontTaskWait);
    EXPECT_EQ("", idle.runningTaskName);
    EXPECT_EQ(microseconds(0), idle.runningFor);
    EXPECT_EQ(0u, idle.tasksRun);
    EXPECT_EQ(0u, idle.tasksOverGuardTime);
    EXPECT_EQ(microseconds(0), idle.longestExecution);
    EXPECT_EQ(microseconds(0), idle.longestWait);
    EXPECT_FALSE(idle.anyTaskCompleted);
    EXPECT_EQ(microseconds(0), idle.sinceLastCompletion);

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
    dispatcher.enqueue([] {}, "second", false, true);
    dispatcher.enqueue(
        [&] {
            dispatcher.enqueue([&] { duringInner = dispatcher.getStatistics(); }, "inner", true,
                               true);
            dispatcher.pumpNext();
            afterInner = dispatcher.getStatistics();
        },
        "outer", false, true);
    const ServicesDispatcher::Statistics queued = dispatcher.getStatistics();
    EXPECT_EQ(3, queued.queueSize);
    EXPECT_LE(queued.frontTaskWait, milliseconds(sftest::elapsedMs(start)));
    EXPECT_EQ("", queued.runningTaskName);

    dispatcher.pumpAll();
    const long total = sftest::elapsedMs(start);

    EXPECT_EQ("measured", duringMeasured.runningTaskName);
    EXPECT_EQ(2, duringMeasured.queueSize);
    EXPECT_EQ(0u, duringMeasured.tasksRun);
    EXPECT_FALSE(duringMeasured.anyTaskCompleted);
    EXPECT_EQ("measured", fromOtherThread.runningTaskName);
    EXPECT_GE(fromOtherThread.runningFor, duringMeasured.runningFor);

    // A nested pump shows its own task, then the outer one again.
    EXPECT_EQ("inner", duringInner.runningTaskName);
    EXPECT_EQ(2u, duringInner.tasksRun);
    EXPECT_EQ("outer", afterInner.runningTaskName);
    EXPECT_EQ(3u, afterInner.tasksRun);
    EXPECT_TRUE(afterInner.anyTaskCompleted);

    const ServicesDispatcher::Statistics done = dispatcher.getStatistics();
    EXPECT_EQ(0, done.queueSize);
    EXPECT_EQ("", done.runningTaskName);
    EXPECT_EQ(microseconds(0), done.runningFor);
    EXPECT_EQ(4u, done.tasksRun);
    EXPECT_EQ(0u, done.tasksOverGuardTime);
    EXPECT_GE(done.longestExecution, milliseconds(20)) << "\"measured\" took the longest";
    EXPECT_LE(done.longestExecution, milliseconds(total + 1));
    EXPECT_GE(done.longestWait, milliseconds(20)) << "\"outer\" waited behind \"measured\"";
    EXPECT_LE(done.longestWait, milliseconds(total + 1));
    EXPECT_TRUE(done.anyTaskCompleted);
    EXPECT_LE(done.sinceLastCompletion, milliseconds(total + 1));

    // clear() drops tasks without counting them.
    dispatcher.enqueue([] {}, "dropped", false, true);
    dispatcher.clear();
    EXPECT_EQ(4u, dispatcher.getStatistics().tasksRun);
    EXPECT_EQ(0, dispatcher.getStatistics().queueSize);
}

// pumpAll takes a task that follows a quiet one at the time the quiet one completed. That
// time must be its own pump's: a task pumped after an idle spell is not charged for the spell;
// and tasks queued from another thread while pumps take one another's times all run once.
TEST_F(DispatcherTest, APumpTimesEachTaskFromItsOwnPickUp) {
    using std::chrono::milliseconds;
    dispatcher.enqueue([] {}, "quiet", false, true);
    dispatcher.enqueue([&] { takeAtLeast(20); }, "busy", false, true);
    dispatcher.pumpAll();
    const auto idleFrom = std::chrono::steady_clock::now();
    takeAtLeast(150);
    dispatcher.enqueue([] {}, "after idle", false, true);
    dispatcher.pumpAll();
    const long idle = sftest::elapsedMs(idleFrom);
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
            dispatcher.enqueue([] {}, "racing", false, true);
        }
        done = true;
    });
    while (!done.load()) {
        dispatcher.pumpAll();
    }
    producer.join();
    dispatcher.pumpAll();
    statistics = dispatcher.getStatistics();
    EXPECT_EQ(3u + kRacing, statistics.tasksRun);
    EXPECT_EQ(0, statistics.queueSize);
}

}  // namespace
