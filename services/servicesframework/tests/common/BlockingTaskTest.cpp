#include <zam/BlockingTask.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "common/TestTasks.h"

namespace {

using sftest::named;

// A null inner task only sets the done event; a throwing one sets it and its exception goes on.
TEST(BlockingTaskTest, NamePrefixesTheInnerNameOncePerLevelAndTheEventIsSetHoweverItEnds) {
    auto once = std::make_shared<zam::BlockingTask>(named("X"));
    EXPECT_EQ("BT-X", once->name());
    EXPECT_EQ("BT-BT-X", zam::BlockingTask(once).name());
    EXPECT_EQ("BT-", zam::BlockingTask(named("")).name());
    zam::BlockingTask null{TaskPtr()};
    EXPECT_EQ("BT-", null.name());
    EXPECT_NO_THROW(null.execute());
    EXPECT_TRUE(null.getDoneEvent().timedWait(0));
    zam::BlockingTask throwing(sftest::task([] { throw std::runtime_error("inner failed"); }));
    EXPECT_THROW(throwing.execute(), std::runtime_error);
    EXPECT_TRUE(throwing.getDoneEvent().timedWait(0));
}

// The done event is set only after the inner task ran, and the waiter's wait consumes it;
// hasStarted tells a waiter whether the task ran; a withdrawal and a start exclude each other.
TEST(BlockingTaskTest, AWithdrawnTaskNeverRunsAndAStartedOneCannotBeWithdrawn) {
    int runs = 0;
    auto counting = [&runs] { return sftest::task([&runs] { ++runs; }, "c"); };
    zam::BlockingTask withdrawn(counting());
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.withdraw());
    EXPECT_TRUE(withdrawn.withdraw()) << "still withdrawn";
    withdrawn.execute();
    EXPECT_EQ(0, runs);
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.getDoneEvent().timedWait(0)) << "a late execute() still releases";

    zam::BlockingTask started(counting());
    EXPECT_FALSE(started.getDoneEvent().timedWait(0));
    started.execute();
    EXPECT_EQ(1, runs);
    EXPECT_TRUE(started.hasStarted());
    EXPECT_TRUE(started.getDoneEvent().timedWait(0));
    EXPECT_FALSE(started.getDoneEvent().timedWait(0)) << "auto-reset: the wait consumed the signal";
    EXPECT_FALSE(started.withdraw());
    EXPECT_TRUE(started.hasStarted());
}

}  // namespace
