#include <zam/BlockingTask.h>

#include <KORCoreUtils/FunctionTask.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "support/Deadline.h"

namespace {

TaskPtr named(const std::string& name) {
    return std::make_shared<KORCoreUtils::FunctionTask>([] {}, name);
}

TEST(BlockingTaskTest, NamePrefixesTheInnerNameOncePerLevel) {
    auto once = std::make_shared<zam::BlockingTask>(named("X"));
    EXPECT_EQ("BT-X", once->name());
    zam::BlockingTask twice(once);
    EXPECT_EQ("BT-BT-X", twice.name());
    EXPECT_EQ("BT-", zam::BlockingTask(named("")).name());
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

TEST(BlockingTaskTest, WaitingThreadIsReleasedWhenTheTaskRunsOnAnotherThread) {
    std::atomic<bool> ran{false};
    auto task = std::make_shared<zam::BlockingTask>(
        std::make_shared<KORCoreUtils::FunctionTask>([&] { ran = true; }, "r"));
    std::thread executor([task] { task->execute(); });
    EXPECT_TRUE(task->getDoneEvent().timedWait(sftest::kDeadline.count()));
    EXPECT_TRUE(ran.load());
    executor.join();
}

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

TEST(BlockingTaskTest, NullInnerTaskOnlySetsTheDoneEvent) {
    zam::BlockingTask task{TaskPtr()};
    EXPECT_EQ("BT-", task.name());
    EXPECT_NO_THROW(task.execute());
    EXPECT_TRUE(task.getDoneEvent().timedWait(0));
}

}  // namespace
