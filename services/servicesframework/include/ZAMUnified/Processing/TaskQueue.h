// ZAMUnified::Processing::TaskQueue: the thread-safe queue of tasks behind the services
// dispatcher. Any thread adds tasks at the back, or urgently at the front; consumers take them
// from the front, without blocking or with a time limit. A task that arrives while consumers are
// blocked is handed straight to the one that has waited longest and never enters the queue.
//
// Threading: every operation is safe from any thread. Lock order: the queue's mutex before a
// waiting consumer's WaitInfo mutex.
// Failure: nothing throws; an empty TaskPtr means "no task".
#ifndef ZAMUNIFIED_PROCESSING_TASKQUEUE_H
#define ZAMUNIFIED_PROCESSING_TASKQUEUE_H

#include <atomic>
#include <chrono>
#include <deque>

#include <zam/Condition.h>
#include <zam/Mutex.h>
#include <zam/Task.h>

namespace ZAMUnified {
namespace Processing {

// One per consumer blocked in TaskQueue::waitDequeueTask, created and destroyed by that consumer.
struct WaitInfo {
    TaskPtr task;  // empty until a producer hands a task over
    zam::Condition condition;
    zam::Mutex mutex;  // held by the consumer while it waits; guards task and woken
    // Set together with the signal by a hand-over or by wakeUpAll, so that a spurious wake-up
    // of the condition is told apart from a real one and the consumer waits on.
    bool woken = false;
};

class TaskQueue {
  public:
    TaskQueue();
    ~TaskQueue();

    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    // Stamps the task's submission time, then hands it to the longest-waiting consumer if there
    // is one (the urgent flag then has no effect), else queues it at the front (urgent) or at the
    // back. Urgent tasks are thus last-in first-out among themselves, and all run before the
    // normal ones. A null task is ignored.
    void enqueueTask(TaskPtr task, bool urgent);
    void enqueueUrgentTask(TaskPtr task);

    // Takes the front task, or returns an empty TaskPtr at once when there is none.
    TaskPtr dequeueTask();

    // Takes the front task; when there is none, blocks until a producer hands one over, until
    // wakeUpAll(), or until `timeoutMilliseconds` have passed (empty TaskPtr for the last two).
    // A task handed over at the moment of the time-out is returned, never lost. Zero or a
    // negative time does not wait; a time the clock cannot reach (from about 9.2e12 ms, LONG_MAX
    // among them) means no limit.
    TaskPtr waitDequeueTask(long timeoutMilliseconds);

    // Releases every consumer blocked in waitDequeueTask without a task.
    void wakeUpAll();

    // Drops the queued tasks; consumers that are waiting keep waiting.
    void clear();
    // Takes `task` out of the queue if it is still queued; returns whether it was. A task handed
    // straight to a waiting consumer never entered the queue and is not found.
    bool removeTask(const TaskPtr& task);

    int size();

    // The number of consumers blocked in waitDequeueTask right now.
    int waiterCount();

    // How long the front task has been queued, in whole milliseconds (system clock); zero when
    // the queue is empty.
    std::chrono::milliseconds getFirstTaskQueuedTime();
    // The same measured up to `now` instead of the clock's current time, for a caller that has
    // just read the clock (a clock read costs as much as the rest of an enqueue).
    std::chrono::milliseconds getFirstTaskQueuedTime(std::chrono::system_clock::time_point now);

  private:
    std::deque<TaskPtr> tasks_;      // guarded by mutex_; the next to run at the front
    std::deque<WaitInfo*> waiters_;  // guarded by mutex_; the longest-waiting at the front
    // Guards tasks_ and waiters_. While waiters_ is not empty, tasks_ is empty.
    zam::Mutex mutex_;
    // tasks_.size(), written under mutex_ and read without it: the dispatcher asks for the size
    // after every enqueue and pick-up, and a snapshot is all any reader gets anyway.
    std::atomic<int> size_{0};
};

}  // namespace Processing
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_PROCESSING_TASKQUEUE_H
