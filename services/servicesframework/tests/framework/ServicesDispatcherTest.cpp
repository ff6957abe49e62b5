#include <ZAMUnified/ServicesDispatcher.h>

#include <KORCoreUtils.h>
#include <KORCoreUtils/FunctionTask.h>
#include <ZAMLogger.h>
#include <ZAMUnified/AccessGuard.h>
#include <ZAMUnified/DispatcherAccessException.h>
#include <zam/Event.h>
#include <zam/ThreadPool.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/Deadline.h"

namespace {

using ZAMUnified::ServicesDispatcher;

const char* const kLogger = "services-dispatcher";
const char* const kPath = "services/servicesframework/src/framework/ServicesDispatcher";

// Captures the dispatcher's records; safe for records logged on other threads.
class DispatcherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ZAMLog_setSink([this](const ZAMLogRecord& record) {
            if (record.logger == kLogger) {
                std::lock_guard<std::mutex> lock(mutex_);
                records_.push_back(record);
            }
        });
        ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_INFO);
    }
    void TearDown() override {
        ZAMLog_setSink({});
        ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_WARNING);
    }

    std::vector<ZAMLogRecord> records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    std::vector<std::string> messages(int level) {
        std::vector<std::string> result;
        for (const ZAMLogRecord& record : records()) {
            if (record.level == level) {
                result.push_back(record.message);
            }
        }
        return result;
    }
    void forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.clear();
    }
    // The only record with this message; fails the test unless there is exactly one.
    ZAMLogRecord only(const std::string& message) {
        ZAMLogRecord found;
        int count = 0;
        for (const ZAMLogRecord& record : records()) {
            if (record.message == message) {
                found = record;
                ++count;
            }
        }
        EXPECT_EQ(1, count) << message;
        EXPECT_EQ(kPath, found.file);
        return found;
    }

    ServicesDispatcher dispatcher;

  private:
    std::mutex mutex_;
    std::vector<ZAMLogRecord> records_;
};

// Runs `body` on a new thread and waits for it within the deadline.
template <typename Body>
void onOtherThread(Body body) {
    std::atomic<bool> finished{false};
    std::thread thread([&] {
        body();
        finished = true;
    });
    const bool inTime = sftest::eventually([&] { return finished.load(); });
    thread.join();
    ASSERT_TRUE(inTime);
}

std::string hex(std::uint64_t value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

// The number between the first "[" after `after` and the next "]".
long numberAfter(const std::string& message, const std::string& after) {
    const std::size_t at = message.find(after);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no '" << after << "' in " << message;
        return -1;
    }
    const std::size_t open = message.find('[', at + after.size() - 1);
    const std::size_t close = message.find(']', open);
    return std::stol(message.substr(open + 1, close - open - 1));
}

TEST_F(DispatcherTest, OtherThreadsAreRefusedWithoutTouchingTheQueueUntilTheyTakeTheRoleOver) {
    ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_DEBUG);
    std::vector<int> ran;
    dispatcher.enqueue([&] { ran.push_back(1); }, "one", false, true);
    dispatcher.enqueue([&] { ran.push_back(2); }, "two", false, true);
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    const std::uint64_t host = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    std::uint64_t other = 0;
    forget();

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
    for (const ZAMLogRecord& record : records()) {
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
    forget();
    dispatcher.resetDispatcherThread();
    EXPECT_TRUE(dispatcher.checkForUpdateAccess());
    EXPECT_EQ(1u, records().size());
    forget();
    dispatcher.resetDispatcherThread();
    EXPECT_TRUE(records().empty());
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
    EXPECT_TRUE(records().empty());
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
    std::atomic<bool> woken{false};
    std::thread host([&] {
        dispatcher.waitForDispatcherTask();
        woken = true;
    });
    dispatcher.enqueue([] {}, "wake", false, true);
    EXPECT_TRUE(sftest::eventually([&] { return woken.load(); }));
    host.join();
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

TEST_F(DispatcherTest, EnqueueBlockFromSeveralThreadsReturnsAfterTheHostRanEachTask) {
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::atomic<int> finished{0};
    std::atomic<int> offThread{0};
    std::vector<int> counts(kThreads, 0);  // written on the dispatcher thread only
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                dispatcher.enqueueBlock(
                    [&, t] {
                        if (!dispatcher.checkForUpdateAccess()) {
                            ++offThread;
                        }
                        ++counts[t];
                    },
                    "block", (i % 2) == 0, true);
                // The blocking enqueue returned, so this task has run: its count is visible.
                if (counts[t] != i + 1) {
                    ++offThread;
                }
            }
            ++finished;
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + sftest::kDeadline;
    while (finished.load() < kThreads && std::chrono::steady_clock::now() < deadline) {
        dispatcher.waitForDispatcherTask(20);
        dispatcher.pumpAll();
    }
    const bool allReturned = finished.load() == kThreads;
    dispatcher.pumpAll();
    for (std::thread& producer : producers) {
        producer.join();
    }
    ASSERT_TRUE(allReturned);
    EXPECT_EQ(0, offThread.load());
    EXPECT_EQ(std::vector<int>(kThreads, kEach), counts);
}

TEST_F(DispatcherTest, EnqueueBlockOnTheDispatcherThreadRunsTheTaskAtOnceAsAPumpWould) {
    ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_DEBUG);
    std::vector<std::string> ran;
    dispatcher.enqueue([&] { ran.push_back("queued"); }, "queued", false, true);
    forget();
    dispatcher.enqueueBlock([&] { ran.push_back("direct"); }, "direct", true, true);
    EXPECT_EQ((std::vector<std::string>{"direct"}), ran) << "queued tasks are left for the pump";
    EXPECT_EQ(1, dispatcher.getQueueSize());
    EXPECT_EQ("BT-direct", dispatcher.getLastTaskName());
    EXPECT_EQ("executeTask", only(" executing (BT-direct)").function);
    bool executed = false;
    for (const std::string& message : messages(ZAMLOG_LEVEL_DEBUG)) {
        if (message.rfind(" executed (BT-direct) in [", 0) == 0) {
            executed = true;
            EXPECT_LE(numberAfter(message, "Waiting time was ["), 2000) << message;
        }
    }
    EXPECT_TRUE(executed);

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
    forget();
    dispatcher.enqueueBlock([] {}, "hushed", false, false);
    for (const ZAMLogRecord& record : records()) {
        EXPECT_EQ(std::string::npos, record.message.find("executing")) << record.message;
    }
    EXPECT_FALSE(dispatcher.isTaskLoggable("BT-hushed"));
}

TEST_F(DispatcherTest, QueueSizeNotesWatchTheGuardSize) {
    for (int i = 1; i <= 5; ++i) {
        dispatcher.enqueue([] {}, "t", false, true);
    }
    EXPECT_TRUE(records().empty()) << "five queued tasks are within the guard size";
    dispatcher.enqueue([] {}, "t", false, true);
    dispatcher.enqueue([] {}, "t", false, true);
    const std::vector<ZAMLogRecord> notes = records();
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

    forget();
    dispatcher.pumpNext();  // leaves 6
    EXPECT_TRUE(records().empty());
    dispatcher.pumpNext();  // leaves 5
    const ZAMLogRecord safe = only("Task queue is back to a safe size");
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, safe.level);
    EXPECT_EQ("nextTask", safe.function);

    // A task has been run now: a larger queue is no longer announced, and quick tasks raise no
    // guard warning.
    forget();
    dispatcher.enqueue([] {}, "t", false, true);
    dispatcher.enqueue([] {}, "t", false, true);
    EXPECT_TRUE(records().empty());

    dispatcher.clear();  // 7 queued
    EXPECT_EQ(0, dispatcher.getQueueSize());
    const ZAMLogRecord cleared = only("Task queue is back to a safe size (cleared)");
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, cleared.level);
    EXPECT_EQ("clear", cleared.function);

    forget();
    for (int i = 0; i < 5; ++i) {
        dispatcher.enqueue([] {}, "t", false, true);
    }
    dispatcher.clear();
    EXPECT_EQ(0, dispatcher.getQueueSize());
    EXPECT_TRUE(records().empty()) << "five cleared tasks were within the guard size";
}

TEST_F(DispatcherTest, NotLoggableTasksStayUnloggedAtExecutionForGood) {
    ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_DEBUG);
    dispatcher.enqueue([] {}, "quiet", false, false);
    dispatcher.enqueue([] {}, "quiet", false, false);
    dispatcher.enqueue([] {}, "quiet", false, true);
    dispatcher.enqueue([] {}, "loud", false, true);
    dispatcher.enqueue([] {}, "", false, false);
    EXPECT_EQ(
        (std::vector<std::string>{"Not loggable task: quiet", "ServicesDispatcher.enqueue: quiet",
                                  "ServicesDispatcher.enqueue: loud"}),
        messages(ZAMLOG_LEVEL_DEBUG));
    EXPECT_EQ("updateNotLoggableTasks", only("Not loggable task: quiet").function);
    EXPECT_EQ("enqueue", only("ServicesDispatcher.enqueue: loud").function);
    EXPECT_FALSE(dispatcher.isTaskLoggable("quiet"));
    EXPECT_TRUE(dispatcher.isTaskLoggable("loud"));
    EXPECT_TRUE(dispatcher.isTaskLoggable(""));

    forget();
    ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_TRACE);
    dispatcher.pumpAll();
    std::vector<std::string> seen;
    for (const ZAMLogRecord& record : records()) {
        EXPECT_EQ(kPath, record.file);
        if (record.level == ZAMLOG_LEVEL_DEBUG) {
            EXPECT_EQ("executeTask", record.function);
            const std::size_t in = record.message.find(") in [");
            seen.push_back(in == std::string::npos ? record.message
                                                   : record.message.substr(0, in + 1));
            if (in != std::string::npos) {
                EXPECT_LE(numberAfter(record.message, ") in ["), 2000);
                EXPECT_NE(std::string::npos,
                          record.message.find("] milliseconds. Waiting time was ["));
                EXPECT_EQ("] milliseconds", record.message.substr(record.message.size() - 14));
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
    EXPECT_EQ(1u, messages(ZAMLOG_LEVEL_TRACE).size());

    // At info level nothing of this is even composed.
    forget();
    ZAMLog_setLevel(kLogger, ZAMLOG_LEVEL_INFO);
    dispatcher.enqueue([] {}, "loud", false, true);
    dispatcher.enqueue([] {}, "other", false, false);
    dispatcher.pumpAll();
    EXPECT_TRUE(records().empty());
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
    forget();
    dispatcher.pumpNext();  // runs "slow"

    std::vector<ZAMLogRecord> seen = records();
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ("Task queue is back to a safe size", seen[0].message);

    const std::string running = seen[1].message;
    EXPECT_EQ(ZAMLOG_LEVEL_WARNING, seen[1].level);
    EXPECT_EQ("warnOnDispatcherThreadBusy", seen[1].function);
    EXPECT_EQ(0u, running.find("Task 'slow' has been running for ["));
    EXPECT_GT(numberAfter(running, "running for ["), 2000);
    EXPECT_NE(std::string::npos,
              running.find("] milliseconds exceeding the guard execution time of [2000] "
                           "milliseconds. Current queue size is [6] task"));
    EXPECT_EQ(running.size() - 1, running.rfind(" task") + 4);

    const std::string report = seen[2].message;
    EXPECT_EQ(ZAMLOG_LEVEL_INFO, seen[2].level) << "reported at info whatever the debug level";
    EXPECT_EQ("executeTask", seen[2].function);
    EXPECT_EQ(0u, report.find(" executed (slow) in ["));
    EXPECT_GT(numberAfter(report, " in ["), 2000);
    EXPECT_NE(std::string::npos,
              report.find("] milliseconds. This task exceeded the guard execution time of [2000] "
                          "milliseconds. Waiting time was ["));
    EXPECT_GE(numberAfter(report, "Waiting time was ["), 0);
    EXPECT_EQ("] milliseconds", report.substr(report.size() - 14));

    // "slow" is done; the front task has now waited over two seconds in a queue of seven.
    forget();
    dispatcher.enqueue([] {}, "late", false, true);
    seen = records();
    ASSERT_EQ(1u, seen.size());
    const std::string stalled = seen[0].message;
    EXPECT_EQ(ZAMLOG_LEVEL_WARNING, seen[0].level);
    EXPECT_EQ("warnOnDispatcherThreadBusy", seen[0].function);
    EXPECT_EQ(0u, stalled.find("The first task on the queue has been waiting for ["));
    EXPECT_GT(numberAfter(stalled, "waiting for ["), 2000);
    EXPECT_NE(std::string::npos,
              stalled.find("] milliseconds exceeding the guard queued time of [2000] "
                           "milliseconds. Queue size reached [7] task exceeding the guard size "
                           "of [5] tasks. The last executed task was completed ["));
    EXPECT_LT(numberAfter(stalled, "was completed ["), 2000);
    EXPECT_EQ("] milliseconds ago", stalled.substr(stalled.size() - 18));

    forget();
    dispatcher.pumpAll();
    EXPECT_TRUE(messages(ZAMLOG_LEVEL_WARNING).empty());

    // The same run in the statistics: one of eight tasks over the guard time, and the tasks
    // queued behind "slow" waited as long as it ran.
    const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ(8u, statistics.tasksRun);
    EXPECT_EQ(1u, statistics.tasksOverGuardTime);
    EXPECT_GE(statistics.longestExecution, std::chrono::milliseconds(2050));
    EXPECT_GT(statistics.longestWait, std::chrono::milliseconds(2000));
    EXPECT_TRUE(statistics.anyTaskCompleted);
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

    // A task that throws is counted as run and leaves nothing running; a blocking task run at
    // once on the dispatcher thread counts like a pumped one.
    dispatcher.enqueue([] { throw std::runtime_error("counted"); }, "throws", false, true);
    EXPECT_THROW(dispatcher.pumpAll(), std::runtime_error);
    dispatcher.enqueueBlock([] {}, "direct", false, true);
    const ServicesDispatcher::Statistics later = dispatcher.getStatistics();
    EXPECT_EQ(6u, later.tasksRun);
    EXPECT_EQ("", later.runningTaskName);
    EXPECT_EQ(0u, later.tasksOverGuardTime);

    // clear() drops tasks without counting them.
    dispatcher.enqueue([] {}, "dropped", false, true);
    dispatcher.clear();
    EXPECT_EQ(6u, dispatcher.getStatistics().tasksRun);
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

    std::atomic<bool> stop{false};
    std::atomic<int> queued{0};
    std::thread producer([&] {
        while (!stop.load()) {
            dispatcher.enqueue([] {}, "racing", false, true);
            ++queued;
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (queued.load() < 20000 && std::chrono::steady_clock::now() < deadline) {
        dispatcher.pumpAll();
    }
    stop = true;
    producer.join();
    dispatcher.pumpAll();
    statistics = dispatcher.getStatistics();
    EXPECT_EQ(3u + static_cast<std::uint64_t>(queued.load()), statistics.tasksRun);
    EXPECT_EQ(0, statistics.queueSize);
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
    std::atomic<bool> released{false};
    std::thread producer([&] {
        dispatcher.enqueueBlock([] { throw std::logic_error("blocked failed"); }, "bad2", false,
                                true);
        released = true;
    });
    ASSERT_TRUE(sftest::eventually([&] { return dispatcher.getQueueSize() == 1; }));
    EXPECT_THROW(dispatcher.pumpAll(), std::logic_error);
    EXPECT_TRUE(sftest::eventually([&] { return released.load(); }));
    producer.join();
}

TEST_F(DispatcherTest, ClearReleasesThreadsBlockedOnDroppedTasks) {
    std::atomic<bool> ran{false};
    std::atomic<bool> released{false};
    std::thread producer([&] {
        dispatcher.enqueueBlock([&] { ran = true; }, "dropped", false, true);
        released = true;
    });
    ASSERT_TRUE(sftest::eventually([&] { return dispatcher.getQueueSize() == 1; }));
    dispatcher.clear();
    EXPECT_TRUE(sftest::eventually([&] { return released.load(); }));
    producer.join();
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

// Producers flood the dispatcher and a pool while the host pumps and the callback is swapped;
// every task must run exactly once and nothing may hang.
TEST_F(DispatcherTest, StressEveryTaskRunsExactlyOnce) {
    constexpr int kProducers = 4;
    constexpr int kEach = 3000;
    std::vector<std::atomic<int>> dispatched(kProducers * kEach);
    std::vector<std::atomic<int>> pooled(kProducers * kEach);
    std::atomic<int> pooledDone{0};
    std::atomic<int> producersDone{0};
    zam::ThreadPool pool(1, 4, "stress", 1);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) {
                const int index = p * kEach + i;
                dispatcher.enqueue([&, index] { ++dispatched[index]; }, "stress", (i % 7) == 0,
                                   (i % 3) != 0);
                pool.enqueue(std::make_shared<KORCoreUtils::FunctionTask>(
                                 [&, index] {
                                     ++pooled[index];
                                     ++pooledDone;
                                 },
                                 "pooled"),
                             (i % 500) == 0, (i % 5) == 0);
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
    dispatcher.pumpAll();
    EXPECT_TRUE(sftest::eventually([&] { return pooledDone.load() == kProducers * kEach; },
                                   sftest::kDeadline * 6));
    int wrong = 0;
    for (int i = 0; i < kProducers * kEach; ++i) {
        wrong += dispatched[i].load() != 1 ? 1 : 0;
        wrong += pooled[i].load() != 1 ? 1 : 0;
    }
    EXPECT_EQ(0, wrong);
}

}  // namespace
