// zam::PoolWorker: the loop that every thread of one zam::ThreadPool runs, with the pool's queues,
// wake-up condition and thread counts. Used by ThreadPool only.
//
// Threading: shared by all threads of a pool; counts under the count mutex, queues and the
// shut-down flag under the queue mutex (count mutex first). The last thread to end deletes it.
// Failure: nothing throws; failed thread starts and throwing tasks are reported on standard error.
#ifndef ZAM_POOLWORKER_H
#define ZAM_POOLWORKER_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include <zam/Condition.h>
#include <zam/Mutex.h>
#include <zam/Runnable.h>
#include <zam/Task.h>

namespace zam {

class ThreadPool;

// Entry of every pool thread: runs the Runnable it is given; returns null.
void* poolThreadMain(void* runnable);
// Names the calling thread, "PoolThread" for an empty name. The name it gave the thread last is
// not given again unless SetThreadName renamed the thread since (renaming is a system call).
void setWorkerThreadName(const std::string& name);

class PoolWorker : public Runnable {
  public:
    PoolWorker(ThreadPool* pool, std::shared_ptr<std::deque<TaskPtr>> normalQueue,
               std::shared_ptr<std::deque<TaskPtr>> urgentQueue, std::shared_ptr<Mutex> queueMutex,
               long idleMilliseconds, const std::string& name);
    ~PoolWorker() override;

    // The loop of one worker thread.
    void run() override;

    // Starts a thread below the maximum unless shutting down. Returns false when none was
    // started; a thread that the system refused is reported and not counted.
    bool addThread();
    // Some thread is alive and not running a task.
    bool hasCapacity();
    void wakeUpThread();
    // Whether the calling thread goes on; lastThread tells it to delete this object. An idle
    // thread above the minimum ends, unless tasks arrived meanwhile; it finds the queue empty and
    // counts itself out in one step under the queue mutex.
    bool stayAlive(bool& timedOut, bool& lastThread);
    // Drops the queued tasks and tells every thread to end. Returns true when no thread is alive,
    // so the caller deletes this object.
    bool shutdown();
    // Starts one detached thread running `runnable`; false (with a line on standard error) when
    // the system refuses.
    bool createThread(Runnable* runnable);

    // Called once by the pool, before the first thread starts.
    void setLimits(unsigned int minThreads, unsigned int maxThreads);
    unsigned int threadCount();
    unsigned int busyCount();
    // Counts a task that a blocking enqueue ran on its own thread.
    void countRunElsewhere();
    // Whether the calling thread is one of the threads running this worker's loop.
    bool isCallingThreadOurs() const;
    // The counts and queue lengths together, under the count mutex and then the queue mutex.
    void snapshot(unsigned int& threads, unsigned int& busy, std::uint64_t& tasksRun,
                  std::size_t& urgentQueued, std::size_t& normalQueued);
    const std::string& name() const { return name_; }

    // Releases the waiters of a blocking task that will never run.
    static void releaseDropped(const TaskPtr& task);
    // Runs one task, reporting an exception on standard error instead of letting it end the thread.
    static void runReportingFailure(const TaskPtr& task, const std::string& taskName,
                                    const std::string& poolName);

  private:
    ThreadPool* pool_;  // null once shutting down; written under both mutexes
    std::string name_;
    std::shared_ptr<std::deque<TaskPtr>> normalQueue_;  // guarded by *queueMutex_
    std::shared_ptr<std::deque<TaskPtr>> urgentQueue_;  // guarded by *queueMutex_
    std::shared_ptr<Mutex> queueMutex_;
    Condition wake_;  // waited on with *queueMutex_
    std::int64_t idleMilliseconds_;
    // Guards changes of threadCount_ (against the limits and the shut-down flag); taken before
    // *queueMutex_. The counts are atomic so that the per-task steps, an enqueue's look for an
    // idle thread and a worker's busy count around each task, need no lock: with tiny tasks the
    // threads otherwise queue up on this mutex and sleep in the kernel. A thread that leaves
    // counts itself out under *queueMutex_ as well, in the step that finds the queue empty, since
    // an enqueue reads the counts under that mutex only.
    Mutex countMutex_;
    std::atomic<std::uint32_t> threadCount_{0};
    std::atomic<std::uint32_t> busyCount_{0};
    std::atomic<std::uint64_t> tasksRun_{0};
    unsigned int minThreads_ = 0;  // set once before the first thread starts
    unsigned int maxThreads_ = 0;  // set once before the first thread starts
};

}  // namespace zam

#endif  // ZAM_POOLWORKER_H
