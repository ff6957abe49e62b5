// ZAMUnified::ServicesDispatcher: the queue of work for the dispatcher thread, the one thread on
// which service and business-object state may change. Any thread enqueues; the host pumps on the
// dispatcher thread; guards log tasks that run too long, queues that stall and callers left
// waiting for a pump.
//
// Threading: enqueue*, runOnDispatcherThread, clear, getQueueSize, checkForUpdateAccess and
// setDispatcherCallback from any thread; pumpAll and pumpNext on the dispatcher thread only
// (re-entrant from inside a task).
// Failure: pumps and ensureUpdateAccess throw DispatcherAccessExceptionImpl off the dispatcher
// thread; a null task throws std::invalid_argument; guard breaches are log records only.
#ifndef ZAMUNIFIED_SERVICESDISPATCHER_H
#define ZAMUNIFIED_SERVICESDISPATCHER_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <ZAMUnified/Processing/TaskQueue.h>
#include <ZAMUnified/ServicesDispatcherCallback.h>
#include <zam/Event.h>
#include <zam/Mutex.h>
#include <zam/Task.h>

namespace zam {
class BlockingTask;
}

namespace ZAMUnified {

class ServicesDispatcher {
  public:
    // Fixed guard limits.
    static constexpr long kGuardExecutionTimeMs = 2000;
    static constexpr long kGuardQueuedTimeMs = 2000;
    static constexpr int kGuardSize = 5;

    // A snapshot of the dispatcher's health. Durations are microseconds measured on the system
    // clock from the times the dispatcher takes anyway, except frontTaskWait, which the queue
    // measures in whole milliseconds. Counts cover the dispatcher's whole life (clear() and a
    // factory reset keep them).
    struct Statistics {
        int queueSize = 0;
        std::chrono::microseconds frontTaskWait{0};  // zero when the queue is empty
        // The task executing now (during a nested pump the innermost), empty and zero when idle.
        std::string runningTaskName;
        std::chrono::microseconds runningFor{0};
        // Tasks whose execute() returned or threw, pumped or run at once by enqueueBlock. A task
        // that threw completed when it threw, and counts in the figures below like one that
        // returned.
        std::uint64_t tasksRun = 0;
        // Of those, the ones that ran longer than kGuardExecutionTimeMs.
        std::uint64_t tasksOverGuardTime = 0;
        std::chrono::microseconds longestExecution{0};
        // Longest time from enqueue to pick-up.
        std::chrono::microseconds longestWait{0};
        bool anyTaskCompleted = false;
        std::chrono::microseconds sinceLastCompletion{0};  // zero until a task has completed
    };

    // Any thread. Taken under the dispatcher's task-information lock, which pick-ups and
    // completions also take, so the running task, counts and maxima agree with one another and
    // with the queue size; enqueues on other threads are not held off meanwhile. Does not wait
    // for a running task.
    Statistics getStatistics() const;

    // The constructing thread becomes the dispatcher thread.
    ServicesDispatcher();
    // Queued tasks are dropped unrun; threads blocked in enqueueBlock on them are released.
    ~ServicesDispatcher();

    ServicesDispatcher(const ServicesDispatcher&) = delete;
    ServicesDispatcher& operator=(const ServicesDispatcher&) = delete;

    // Queues the task (urgent: at the front, later urgent tasks first), runs the guard check and
    // tells the host through the callback, or through the new-task event when none is installed.
    // A task enqueued not loggable puts its name on the not-loggable list for good. Throws
    // std::invalid_argument for a null task, leaving the queue unchanged.
    void enqueue(TaskPtr task, bool urgent, bool loggable);
    void enqueue(std::function<void()> function, const std::string& name, bool urgent,
                 bool loggable);

    // As enqueue, then blocks until the dispatcher thread has run the task. Called on the
    // dispatcher thread itself it runs the task at once on the calling thread (it could never be
    // pumped while this thread waits), timed and logged like a pumped task; the task's exception
    // then reaches the caller. While the task waits to be taken up, a warning names it on the
    // services-dispatcher logger every kGuardExecutionTimeMs ("Task 'BT-<name>' has waited [n]
    // milliseconds for the dispatcher thread, which has not run it yet"), so that a host that
    // never pumps, or pumps on another thread, shows in the log instead of as a silent hang.
    // Throws std::invalid_argument for a null task. Returns also when the task was dropped unrun
    // (clear(), a factory reset, the dispatcher's destruction); a caller that reads what the task
    // fills in uses enqueueAndWait, which tells the two apart.
    void enqueueBlock(TaskPtr task, bool urgent, bool loggable);
    void enqueueBlock(std::function<void()> function, const std::string& name, bool urgent,
                      bool loggable);
    // As enqueueBlock, and says whether the task ran: true once it ran (returned, or threw on
    // the host's pump), false when it was dropped unrun.
    [[nodiscard]] bool enqueueAndWait(TaskPtr task, bool urgent, bool loggable);
    [[nodiscard]] bool enqueueAndWait(std::function<void()> function, const std::string& name,
                                      bool urgent, bool loggable);

    // Runs `function` on the dispatcher thread, waiting at most `timeout` for that thread to take
    // it up: for a host that must answer within a time whether or not the dispatcher thread
    // pumps. On the dispatcher thread itself it runs at once, as enqueueBlock does there, and its
    // exception reaches the caller. Elsewhere it is queued (not urgent, loggable, named `name`)
    // and the call returns true once it ran (returned, or threw on the host's pump); false when
    // the time ran out before the dispatcher thread took it up, and it is then withdrawn and
    // never runs later, or when it was dropped unrun. Once taken up it is waited for however long
    // it runs. Waiting is reported as for enqueueBlock. A zero or negative timeout gives up at
    // once; one the clock cannot reach means no limit.
    [[nodiscard]] bool runOnDispatcherThread(std::function<void()> function,
                                             std::chrono::milliseconds timeout,
                                             const std::string& name);

    // Dispatcher thread only. Run queued tasks until the queue is empty (tasks queued meanwhile,
    // also by the tasks themselves, run in the same call), or at most one task. A task may pump
    // again from inside. A task's exception leaves the pump unchanged; the rest stay queued. The
    // task counts as completed when it threw, for the guards and the statistics alike.
    void pumpAll();
    void pumpNext();

    // Return at once when tasks are queued; otherwise wait for the new-task event (without limit,
    // or for at most `milliseconds`; a negative limit does not wait, and one the clock cannot
    // reach, from about 9.2e12 ms with LONG_MAX among them, means no limit). Enqueues coalesce
    // into one stored signal, so a wait may return with an empty queue. With a callback installed
    // the event is never set.
    void waitForDispatcherTask();
    void waitForDispatcherTask(long milliseconds);

    bool checkForUpdateAccess() const;
    // Returns on the dispatcher thread, otherwise throws DispatcherAccessExceptionImpl(name).
    void ensureUpdateAccess(std::string name);
    // Makes the calling thread the dispatcher thread; waits for a pump in progress.
    void resetDispatcherThread();

    // Installs, replaces or (with an empty pointer) removes the callback; safe against concurrent
    // enqueues, which use the callback they read.
    void setDispatcherCallback(std::shared_ptr<ServicesDispatcherCallback> callback);

    // Drops all queued tasks unrun, from any thread; threads blocked in enqueueBlock on them are
    // released.
    void clear();
    int getQueueSize();
    std::string getLastTaskName();

    void updateNotLoggableTasks(const std::string& name, bool loggable);
    bool isTaskLoggable(const std::string& name);

    // Guard operations. Durations are whole milliseconds of the system clock; each is zero while
    // no task has been picked up.
    void warnOnDispatcherThreadBusy();
    bool hasAnyTaskBeenPickedUp();
    bool wasLastPickedUpTaskCompleted();
    bool hasGuardQueuedTimeBeenExceeded();
    std::chrono::milliseconds computeTimeElapsedSinceLastTaskCompletion();
    std::chrono::milliseconds computeElapsedTime();
    std::chrono::milliseconds computeWaitingTime(TaskPtr task);

    // For tests: how often a waiting blocking enqueue reports, instead of kGuardExecutionTimeMs.
    // Applies to waits that start afterwards.
    void setWaitReportPeriodForTest(std::chrono::milliseconds period);

    // Takes the front task and records it as picked up; empty when the queue is empty.
    TaskPtr nextTask();
    // Runs a picked-up task on the calling thread, timing and logging it.
    void executeTask(TaskPtr task);

  private:
    using Clock = std::chrono::system_clock;

    // The guard check with `now` for the current time; enqueue passes the stamp the queue has
    // just put on the task.
    void warnOnDispatcherThreadBusy(Clock::time_point now);
    // nextTask() and executeTask() for the pumps. takeTask records the pick-up at `pickedUp`, or
    // at the clock's current time when that is the epoch; runTask answers the completion time
    // when it logged nothing after taking it (so a pump may take the next task at that same
    // time without reading the clock again), else the epoch.
    TaskPtr takeTask(Clock::time_point pickedUp);
    Clock::time_point runTask(TaskPtr task);
    // Records `task` as the one being run; taskInfoMutex_ is taken here, or already held.
    void recordPickUp(const TaskPtr& task);
    void recordPickUpLocked(const TaskPtr& task, Clock::time_point pickedUp);
    // Drops `task` from running_, counts it as run and answers its pick-up time; taskInfoMutex_
    // must be held.
    std::chrono::system_clock::time_point finishRunningLocked(const TaskPtr& task);
    // Records `task` as completed at `completed`, whether it returned or threw: the guard's
    // completion time, the time since the last completion, the running list and the execution
    // figures. taskInfoMutex_ must be held.
    void recordCompletionLocked(const TaskPtr& task, Clock::time_point completed);
    // Releases the waiters of dropped blocking tasks, which would otherwise wait forever.
    static void releaseDropped(const TaskPtr& task);
    // Runs a blocking task at once on the dispatcher thread, as a nested pump would run it.
    void runBlockingHere(const std::shared_ptr<zam::BlockingTask>& blocking, bool loggable);
    // Waits for a queued blocking task to run or be dropped, reporting every report period while
    // it is not taken up; at `deadline` (steady clock) withdraws it unless it has been taken up.
    // Returns whether it ran. `operation` names the caller in the reports.
    bool awaitRun(const std::shared_ptr<zam::BlockingTask>& blocking, const char* operation,
                  std::chrono::steady_clock::time_point deadline);

    std::atomic<std::uint64_t> dispatcherThread_;
    // How often a waiting blocking enqueue reports; kGuardExecutionTimeMs unless a test sets it.
    std::atomic<long> waitReportPeriodMs_{kGuardExecutionTimeMs};
    std::shared_ptr<Processing::TaskQueue> queue_;
    zam::Event newTaskEvent_;
    // Held for the whole of a pump and by resetDispatcherThread; taken before taskInfoMutex_.
    zam::Mutex pumpMutex_;
    // Read and replaced only with std::atomic_load / std::atomic_store.
    std::shared_ptr<ServicesDispatcherCallback> callback_;
    // Set for good by the first setDispatcherCallback: until then an enqueue skips the atomic
    // load of callback_, whose lock costs as much as the queueing itself.
    std::atomic<bool> callbackEverInstalled_{false};
    // Guards lastPickedUp_, lastCompleted_, lastTaskName_ and the statistics below; taken before
    // the queue's mutex. Held by nextTask across the dequeue, so a snapshot never sees a task
    // that has left the queue and is not yet running.
    mutable zam::Mutex taskInfoMutex_;
    std::chrono::system_clock::time_point lastPickedUp_;   // epoch: nothing picked up yet
    std::chrono::system_clock::time_point lastCompleted_;  // epoch: the last task still runs
    std::string lastTaskName_;
    // Tasks picked up and not yet finished, innermost last: more than one only while a task pumps
    // again. The pointer, not the name, is kept so that the hot path copies no string.
    struct RunningTask {
        TaskPtr task;
        std::chrono::system_clock::time_point pickedUp;
    };
    std::vector<RunningTask> running_;
    std::uint64_t tasksRun_ = 0;
    std::uint64_t tasksOverGuardTime_ = 0;
    std::chrono::system_clock::duration longestExecution_{0};
    std::chrono::system_clock::duration longestWait_{0};
    // Unlike lastCompleted_, not reset at pick-up: the time since the last completion is
    // reported while the next task runs.
    std::chrono::system_clock::time_point lastFinished_;
    // Guards notLoggableTasks_; taken alone.
    zam::Mutex notLoggableMutex_;
    std::set<std::string> notLoggableTasks_;
    // Whether notLoggableTasks_ is empty, so that the common case needs no lock.
    std::atomic<bool> anyNotLoggable_{false};
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICESDISPATCHER_H
