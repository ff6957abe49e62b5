// zam::BlockingTask: wraps a task so that the thread that enqueued it can wait until it has run.
// The enqueuer keeps its own TaskPtr to the wrapper, waits on getDoneEvent() and then asks
// hasStarted() whether the task ran or was dropped unrun; one that stops waiting may withdraw()
// the task first, so that it never runs later.
//
// Threading: executed on one thread, waited for on another.
// Failure: when the inner task throws, the done event is still set, so the waiter is released;
// the exception then continues to the executing thread's caller.
#ifndef ZAM_BLOCKINGTASK_H
#define ZAM_BLOCKINGTASK_H

#include <atomic>
#include <string>

#include <zam/Event.h>
#include <zam/Task.h>

namespace zam {

class BlockingTask : public Task {
  public:
    // A null inner task is allowed: executing it only sets the done event.
    explicit BlockingTask(TaskPtr inner);

    // Runs the inner task, then sets the done event (also when the inner task throws). After a
    // withdraw() it only sets the done event.
    void execute() override;
    // "BT-" followed by the inner task's name.
    std::string name() const override;

    // Auto-reset and not signalled until the inner task has returned; a waiter consumes the
    // signal.
    Event& getDoneEvent() { return done_; }
    const TaskPtr& getInnerTask() const { return inner_; }

    // Whether execute() has begun running the inner task. Read once the done event is set, it
    // says whether the task ran (returned or threw): a queue that drops the task unrun sets the
    // event without executing it.
    bool hasStarted() const { return state_.load(std::memory_order_acquire) == kStarted; }

    // Makes sure the inner task never runs, unless execute() has begun it already. Returns true
    // when the task is withdrawn, false when it has started; a start and a withdrawal never both
    // succeed.
    bool withdraw();

  private:
    enum State : int { kWaiting, kStarted, kWithdrawn };

    Event done_;
    TaskPtr inner_;
    // Leaves kWaiting once, by compare-exchange, for kStarted (execute) or kWithdrawn (withdraw).
    std::atomic<int> state_{kWaiting};
};

}  // namespace zam

#endif  // ZAM_BLOCKINGTASK_H
