#include <ZAMUnified/ServicesDispatcher.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <stdexcept>
#include <thread>

#include "support/Deadline.h"

// Waiting on the dispatcher: host waits for work, and callers that wait for the dispatcher thread
// to run their task.
namespace {

using ZAMUnified::ServicesDispatcher;

// A host loop that passes LONG_MAX, or any time-out beyond what the clock can represent (from about
// 9.2e12 ms), to mean "wait forever" must wait for an enqueue instead of returning at once.
TEST(ServicesDispatcherWaitTest, TimeOutsTooLargeForTheClockWaitForAnEnqueue) {
    for (long timeOut : {LONG_MAX, 10000000000000L, 1000000000000L}) {
        SCOPED_TRACE(timeOut);
        auto dispatcher = std::make_shared<ServicesDispatcher>();
        EXPECT_TRUE(sftest::waitsUntilWoken(
            [dispatcher, timeOut] { dispatcher->waitForDispatcherTask(timeOut); },
            [dispatcher] { dispatcher->enqueue([] {}, "wake", false, true); }));
    }
}

// enqueueAndWait says whether the task ran: run at once on the dispatcher thread, pumped by the
// host (also when it threw there), or dropped unrun by clear() or by the dispatcher's end.
TEST(ServicesDispatcherWaitTest, EnqueueAndWaitSaysWhetherTheTaskRan_NEGATIVE) {
    auto dispatcher = std::make_unique<ServicesDispatcher>();
    int runs = 0;  // written on this thread, the dispatcher thread, only
    EXPECT_TRUE(dispatcher->enqueueAndWait([&] { ++runs; }, "here", false, true));
    enum class End { Pumped, Threw, Cleared, Destroyed };
    for (End end : {End::Pumped, End::Threw, End::Cleared, End::Destroyed}) {
        SCOPED_TRACE(static_cast<int>(end));
        std::atomic<int> answer{-1};
        std::thread caller([&, d = dispatcher.get()] {
            const bool ran = d->enqueueAndWait(
                [&] {
                    ++runs;
                    if (end == End::Threw) {
                        throw std::runtime_error("thrown on the pump");
                    }
                },
                "there", false, true);
            answer = ran ? 1 : 0;
        });
        EXPECT_TRUE(sftest::eventually([&] { return dispatcher->getQueueSize() == 1; }));
        switch (end) {
            case End::Pumped:
                dispatcher->pumpAll();
                break;
            case End::Threw:
                EXPECT_THROW(dispatcher->pumpAll(), std::runtime_error);
                break;
            case End::Cleared:
                dispatcher->clear();
                break;
            case End::Destroyed:
                dispatcher.reset();
                break;
        }
        EXPECT_TRUE(sftest::eventually([&] { return answer.load() != -1; }));
        caller.join();
        EXPECT_EQ(end == End::Pumped || end == End::Threw ? 1 : 0, answer.load());
    }
    EXPECT_EQ(3, runs);
}

}  // namespace
