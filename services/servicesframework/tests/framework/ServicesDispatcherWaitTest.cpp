#include <ZAMUnified/ServicesDispatcher.h>

#include <ZAMLogger.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "framework/ServicesDispatcherFixture.h"
#include "support/Deadline.h"
#include "support/OnThread.h"

// Waiting on the dispatcher: host waits for work, and callers that wait for the dispatcher thread
// to run their task.
namespace {

using sftest::DispatcherTest;
using sftest::numbersIn;
using sftest::takeAtLeast;
using ZAMUnified::ServicesDispatcher;
using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

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
    const ServicesDispatcher::Statistics statistics = dispatcher.getStatistics();
    EXPECT_EQ(1u, statistics.tasksRun) << "only the later task";

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
