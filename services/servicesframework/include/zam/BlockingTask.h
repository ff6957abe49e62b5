// zam::BlockingTask: wraps a task so that the thread that enqueued it can wait until it has run.
// The enqueuer keeps its own TaskPtr to the wrapper and waits on getDoneEvent().
//
// Threading: executed on one thread, waited for on another.
// Failure: when the inner task throws, the done event is still set, so the waiter is released;
// the exception then continues to the executing thread's caller.
#ifndef ZAM_BLOCKINGTASK_H
#define ZAM_BLOCKINGTASK_H

#include <string>

#include <zam/Event.h>
#include <zam/Task.h>

namespace zam {

class BlockingTask : public Task {
  public:
    // A null inner task is allowed: executing it only sets the done event.
    explicit BlockingTask(TaskPtr inner);

    // Runs the inner task, then sets the done event (also when the inner task throws).
    void execute() override;
    // "BT-" followed by the inner task's name.
    std::string name() const override;

    // Auto-reset and not signalled until the inner task has returned; a waiter consumes the
    // signal.
    Event& getDoneEvent() { return done_; }
    const TaskPtr& getInnerTask() const { return inner_; }

  private:
    Event done_;
    TaskPtr inner_;
};

}  // namespace zam

#endif  // ZAM_BLOCKINGTASK_H
