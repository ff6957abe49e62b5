// ZAMUnified::Processing::TaskDispatcher: runs work off the dispatcher thread on a fixed set of
// background threads, a named front to a zam::ThreadPool whose minimum equals its maximum.
// Its threads are not the dispatcher thread: state updates from its tasks are refused.
//
// Threading: every operation is safe from any thread; tasks run concurrently, urgent ones first.
// Failure: nothing throws; a null task is ignored with a line on standard error, and a task that
// throws is reported there while its thread goes on. Enqueues are logged at debug level.
#ifndef ZAMUNIFIED_PROCESSING_TASKDISPATCHER_H
#define ZAMUNIFIED_PROCESSING_TASKDISPATCHER_H

#include <functional>
#include <memory>
#include <string>

#include <zam/Task.h>
#include <zam/ThreadPool.h>

namespace ZAMUnified {
namespace Processing {

class TaskDispatcher {
  public:
    // Starts `threads` threads at once; the idle time never ends one of them.
    TaskDispatcher(const std::string& name, unsigned int threads, long idleSeconds);
    // Drops the queued tasks and returns at once; running tasks complete.
    ~TaskDispatcher();

    TaskDispatcher(const TaskDispatcher&) = delete;
    TaskDispatcher& operator=(const TaskDispatcher&) = delete;

    void enqueue(TaskPtr task);
    // Before every normal task still queued; urgent tasks run in the order they were enqueued.
    void enqueueUrgent(TaskPtr task);
    // Returns after a pool thread has run the task. From inside a task of this dispatcher while
    // every other thread is busy, the task runs at once on the calling thread, which would
    // otherwise wait for itself.
    void enqueueBlock(TaskPtr task);

    void enqueue(std::function<void()> function, const std::string& name);
    void enqueueUrgent(std::function<void()> function, const std::string& name);
    void enqueueBlock(std::function<void()> function, const std::string& name);

    // As enqueueBlock, and says whether the task ran: false when it was dropped unrun (the
    // dispatcher's destruction) and for a null task. Use it when the task fills in a result the
    // caller then reads.
    [[nodiscard]] bool enqueueAndWait(TaskPtr task);
    [[nodiscard]] bool enqueueAndWait(std::function<void()> function, const std::string& name);

    // Tasks not yet taken by a thread.
    unsigned int queueSize();
    // The pool's threads alive and busy, tasks queued (urgent and normal) and tasks run.
    zam::ThreadPool::Statistics getStatistics() const;

  private:
    std::shared_ptr<zam::ThreadPool> pool_;
};

}  // namespace Processing
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PROCESSING_TASKDISPATCHER_H
