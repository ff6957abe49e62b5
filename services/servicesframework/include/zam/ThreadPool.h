// zam::ThreadPool: runs tasks on detached worker threads that grow on demand from a minimum to a
// maximum number and shrink back to the minimum after an idle time. Urgent tasks run before
// normal ones; a blocking enqueue waits until its task has run.
//
// Threading: every operation is safe from any thread. Lock order: the worker's count mutex before
// the queue mutex.
// Failure: nothing throws. Refused null tasks, failed thread starts and tasks that throw are
// reported as one line each on standard error; the pool carries on.
#ifndef ZAM_THREADPOOL_H
#define ZAM_THREADPOOL_H

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include <zam/Mutex.h>
#include <zam/Task.h>

namespace zam {

class PoolWorker;

class ThreadPool {
  public:
    // A snapshot of the pool, all figures taken together under the pool's locks.
    struct Statistics {
        unsigned int threadsAlive = 0;
        unsigned int threadsBusy = 0;   // of those alive, the ones running a task
        unsigned int urgentQueued = 0;  // queued and not yet taken by a thread
        unsigned int normalQueued = 0;
        // Tasks whose execute() returned or threw, on a pool thread or, with no thread to run
        // it, on the thread of a blocking enqueue. Dropped tasks never count.
        std::uint64_t tasksRun = 0;
    };

    // Starts min(minThreads, maxThreads) threads at once. A thread above the minimum ends after
    // idleSeconds without work.
    ThreadPool(unsigned int minThreads, unsigned int maxThreads, unsigned int idleSeconds);
    ThreadPool(unsigned int minThreads, unsigned int maxThreads, const std::string& name,
               unsigned int idleSeconds);
    // Drops the queued tasks unrun (releasing the threads blocked in enqueue on them) and returns
    // at once; a task being run completes, then its thread ends.
    ~ThreadPool();

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Queues the task, wakes an idle thread or starts a new one below the maximum. With block,
    // waits until a pool thread has run the task. Where waiting would never end, the task is run
    // on the calling thread instead (its exception reported as a pool thread reports it): when
    // the pool has no thread and cannot start one, and when the caller is one of the pool's own
    // threads while no thread is idle and none can be added. A null task is ignored with a line
    // on standard error.
    void enqueue(TaskPtr task, bool block, bool urgent);
    // As enqueue with block, and says whether the task ran: true once it ran (returned or threw)
    // on a pool thread or on the calling thread, false when clearQueue() or the pool's
    // destruction dropped it unrun, and for a null task (ignored with a line on standard error).
    [[nodiscard]] bool enqueueAndWait(TaskPtr task, bool urgent);

    // Drops the queued tasks of both queues unrun; threads blocked in enqueue on them are released.
    void clearQueue();
    // Tasks queued and not yet taken by a thread, urgent and normal together.
    unsigned int queueSize() const;
    // Threads alive, and those of them running a task right now.
    unsigned int threadCount() const;
    unsigned int busyCount() const;
    // Any thread; waits for neither a running task nor a blocked enqueue.
    Statistics getStatistics() const;

  private:
    void init(unsigned int idleSeconds, const std::string& name);
    // Queues the task and wakes an idle thread for it or starts one; false when neither could be
    // done. A null task is refused with a line on standard error (and false).
    bool push(TaskPtr task, bool urgent);

    PoolWorker* worker_;  // deleted by its last thread, or by the destructor when none is left
    std::shared_ptr<std::deque<TaskPtr>> normalQueue_;  // guarded by *queueMutex_
    std::shared_ptr<std::deque<TaskPtr>> urgentQueue_;  // guarded by *queueMutex_
    // Guards both queues; shared with the worker so that it outlives the pool.
    std::shared_ptr<Mutex> queueMutex_;
    unsigned int minThreads_;
    unsigned int maxThreads_;
};

}  // namespace zam

#endif  // ZAM_THREADPOOL_H
