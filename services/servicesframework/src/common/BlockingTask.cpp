#include <zam/BlockingTask.h>

#include <utility>

namespace zam {

BlockingTask::BlockingTask(TaskPtr inner) : done_(true), inner_(std::move(inner)) {}

void BlockingTask::execute() {
    // The waiter must be released however the inner task ends; the exception itself goes on to
    // whoever executes this task, like that of any other task.
    struct SetOnExit {
        Event& event;
        ~SetOnExit() { event.set(); }
    } setOnExit{done_};
    started_.store(true, std::memory_order_release);
    if (inner_) {
        inner_->execute();
    }
}

std::string BlockingTask::name() const {
    return "BT-" + (inner_ ? inner_->name() : std::string());
}

}  // namespace zam
