#include <zam/Task.h>

#include <ZAMUnified/FunctorTask.h>
#include <zam/BlockingTask.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/TestTasks.h"

namespace probe {
namespace inner {

class UnnamedTask : public zam::Task {
  public:
    void execute() override {}
};

template <typename T>
class TemplateTask : public zam::Task {
  public:
    void execute() override {}
};

}  // namespace inner
}  // namespace probe

namespace {

TEST(TaskTest, DefaultNameIsTheDemangledDynamicType) {
    const zam::Task& plain = probe::inner::UnnamedTask();
    const zam::Task& templated = probe::inner::TemplateTask<int>();
    EXPECT_EQ("probe::inner::UnnamedTask probe::inner::TemplateTask<int>",
              plain.name() + " " + templated.name());
}

// A pool runs whatever it is given; a function task made from an empty function must not throw
// std::bad_function_call there.
TEST(FunctionTaskTest, ATaskWithoutAFunctionDoesNothingWhenRun) {
    KORCoreUtils::FunctionTask empty(std::function<void()>(), "empty");
    EXPECT_NO_THROW(empty.execute());
}

class Recorder {
  public:
    void record(std::string value) { seen.push_back(value); }
    std::vector<std::string> seen;
};

TEST(FunctorTaskTest, CallsTheMethodWithItsArgumentAndKeepsTheObjectAlive) {
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> watch = recorder;
    auto task = std::make_shared<ZAMUnified::FunctorTask<std::string, Recorder>>(
        recorder, &Recorder::record, "payload", "Recorder::record");
    Recorder* raw = recorder.get();
    recorder.reset();

    ASSERT_FALSE(watch.expired()) << "the task must own the object";
    EXPECT_EQ("Recorder::record", task->name());
    task->execute();
    task->execute();  // the argument is passed as a copy, so it is still there the second time
    EXPECT_EQ((std::vector<std::string>{"payload", "payload"}), raw->seen);

    task.reset();
    EXPECT_TRUE(watch.expired()) << "the object lives exactly as long as the task";
}

// A null inner task only sets the done event; a throwing one sets it and its exception goes on.
TEST(BlockingTaskTest, NamePrefixesTheInnerNameOncePerLevelAndTheEventIsSetHoweverItEnds) {
    auto once = std::make_shared<zam::BlockingTask>(sftest::named("X"));
    EXPECT_EQ("BT-X", once->name());
    EXPECT_EQ("BT-BT-X", zam::BlockingTask(once).name());
    EXPECT_EQ("BT-", zam::BlockingTask(sftest::named("")).name());
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
