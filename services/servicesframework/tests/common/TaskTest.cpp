#include <zam/Task.h>

#include <KORCoreUtils/FunctionTask.h>
#include <ZAMUnified/FunctorTask.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

}  // namespace
