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
    int waiting = kWaiting;
    if (!state_.compare_exchange_strong(waiting, kStarted, std::memory_order_acq_rel) &&
        waiting == kWithdrawn) {
        return;
    }
    if (inner_) {
        inner_->execute();
    }
}

bool BlockingTask::withdraw() {
    int waiting = kWaiting;
    return state_.compare_exchange_strong(waiting, kWithdrawn, std::memory_order_acq_rel) ||
           waiting == kWithdrawn;
}

std::string BlockingTask::name() const {
    return "BT-" + (inner_ ? inner_->name() : std::string());
}

}  // namespace zam
