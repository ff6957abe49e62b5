#include <zam/BlockingTask.h>

#include <KORCoreUtils/FunctionTask.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <thread>

#include "support/Deadline.h"

namespace {

TaskPtr named(const std::string& name) {
    return std::make_shared<KORCoreUtils::FunctionTask>([] {}, name);
}

TEST(BlockingTaskTest, NamePrefixesTheInnerNameOncePerLevelAndANullTaskOnlySetsTheEvent) {
    auto once = std::make_shared<zam::BlockingTask>(named("X"));
    EXPECT_EQ("BT-X", once->name());
    EXPECT_EQ("BT-BT-X", zam::BlockingTask(once).name());
    EXPECT_EQ("BT-", zam::BlockingTask(named("")).name());
    zam::BlockingTask null{TaskPtr()};
    EXPECT_EQ("BT-", null.name());
    EXPECT_NO_THROW(null.execute());
    EXPECT_TRUE(null.getDoneEvent().timedWait(0));
}

TEST(BlockingTaskTest, DoneEventIsSetOnlyAfterTheInnerTaskRanAndIsConsumedByTheWaiter) {
    bool ran = false;
    zam::BlockingTask task(std::make_shared<KORCoreUtils::FunctionTask>([&] { ran = true; }, "r"));
    EXPECT_FALSE(task.getDoneEvent().timedWait(0));
    task.execute();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(task.getDoneEvent().timedWait(0));
    EXPECT_FALSE(task.getDoneEvent().timedWait(0)) << "auto-reset: the wait consumed the signal";
}

// The waiter on another thread is released even when the inner task throws, and the exception
// goes on to the executing thread.
TEST(BlockingTaskTest, ThrowingInnerTaskStillReleasesTheWaiterAndTheExceptionGoesOn) {
    auto task = std::make_shared<zam::BlockingTask>(std::make_shared<KORCoreUtils::FunctionTask>(
        [] { throw std::runtime_error("inner failed"); }, "thrower"));
    std::string caught;
    std::thread executor([&caught, task] {
        try {
            task->execute();
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
    });
    EXPECT_TRUE(task->getDoneEvent().timedWait(sftest::kDeadline.count()));
    executor.join();
    EXPECT_EQ("inner failed", caught);
}

// hasStarted tells a waiter whether the task ran; a withdrawal and a start exclude each other.
TEST(BlockingTaskTest, AWithdrawnTaskNeverRunsAndAStartedOneCannotBeWithdrawn) {
    int runs = 0;
    auto counting = [&runs] {
        return std::make_shared<KORCoreUtils::FunctionTask>([&runs] { ++runs; }, "c");
    };
    zam::BlockingTask withdrawn(counting());
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.withdraw());
    EXPECT_TRUE(withdrawn.withdraw()) << "still withdrawn";
    withdrawn.execute();
    EXPECT_EQ(0, runs);
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.getDoneEvent().timedWait(0)) << "a late execute() still releases";

    zam::BlockingTask started(counting());
    started.execute();
    EXPECT_EQ(1, runs);
    EXPECT_TRUE(started.hasStarted());
    EXPECT_FALSE(started.withdraw());
    EXPECT_TRUE(started.hasStarted());
}

}  // namespace
