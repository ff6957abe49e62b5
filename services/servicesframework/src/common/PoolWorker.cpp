#include <zam/PoolWorker.h>

#include <zam/BlockingTask.h>
#include <zam/ScopedLock.h>
#include <zam/ThreadName.h>

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "common/detail/ThreadNameChanges.h"

namespace zam {

namespace {

const std::string kDefaultWorkerName = "PoolThread";

// The worker whose loop the calling thread runs, null on any other thread. A worker is deleted
// only once all its threads have ended, so no thread can hold a stale pointer here.
thread_local const PoolWorker* tCurrentWorker = nullptr;

}  // namespace

void* poolThreadMain(void* runnable) {
    static_cast<Runnable*>(runnable)->run();
    return nullptr;
}

void setWorkerThreadName(const std::string& name) {
    // Renaming a thread is a system call that costs more than a tiny task. A worker running
    // task after task of one name names itself once, unless the thread was named through
    // SetThreadName in between (by a task, say). The name last given is kept in a plain array:
    // a thread-local std::string would register a destructor at the thread's first call, and
    // that allocation gives every new worker a heap arena of its own before it runs anything.
    // Longer names than the array holds are simply given every time.
    struct Applied {
        char name[64];
        std::size_t length;
        std::uint64_t at;
        bool named;
    };
    thread_local Applied applied{};
    const std::string& wanted = name.empty() ? kDefaultWorkerName : name;
    const std::uint64_t changes = detail::threadNameChanges();
    if (applied.named && applied.at == changes && applied.length == wanted.size() &&
        std::memcmp(applied.name, wanted.data(), wanted.size()) == 0) {
        return;
    }
    ThreadNameSetter::SetCurrentThreadName(wanted);
    applied.named = wanted.size() <= sizeof(applied.name);
    if (applied.named) {
        std::memcpy(applied.name, wanted.data(), wanted.size());
        applied.length = wanted.size();
        applied.at = detail::threadNameChanges();
    }
}

PoolWorker::PoolWorker(ThreadPool* pool, std::shared_ptr<std::deque<TaskPtr>> normalQueue,
                       std::shared_ptr<std::deque<TaskPtr>> urgentQueue,
                       std::shared_ptr<Mutex> queueMutex, long idleMilliseconds,
                       const std::string& name)
    : pool_(pool),
      name_(name),
      normalQueue_(std::move(normalQueue)),
      urgentQueue_(std::move(urgentQueue)),
      queueMutex_(std::move(queueMutex)),
      idleMilliseconds_(idleMilliseconds) {}

PoolWorker::~PoolWorker() = default;

void PoolWorker::setLimits(unsigned int minThreads, unsigned int maxThreads) {
    minThreads_ = minThreads;
    maxThreads_ = maxThreads;
}

void PoolWorker::run() {
    tCurrentWorker = this;
    setWorkerThreadName(name_);
    bool timedOut = false;
    bool lastThread = false;
    // A new thread goes straight to the wait: asked before it has waited, stayAlive answers yes
    // unless the pool is shutting down, which the wait loop sees as well (under the queue mutex)
    // before it comes back here. Asking at once would only queue the thread up on the count
    // mutex, which addThread holds while it starts the thread.
    for (bool started = false;; started = true) {
        if (started && !stayAlive(timedOut, lastThread)) {
            if (lastThread) {
                delete this;
            }
            return;
        }
        queueMutex_->lock();
        while (pool_ != nullptr && !timedOut && urgentQueue_->empty() && normalQueue_->empty()) {
            if (wake_.timedWait(*queueMutex_, static_cast<long>(idleMilliseconds_)) != 0) {
                timedOut = true;
            }
        }
        while (pool_ != nullptr && !timedOut &&
               (!urgentQueue_->empty() || !normalQueue_->empty())) {
            std::deque<TaskPtr>& queue = urgentQueue_->empty() ? *normalQueue_ : *urgentQueue_;
            TaskPtr task = std::move(queue.front());
            queue.pop_front();
            queueMutex_->unlock();
            busyCount_.fetch_add(1, std::memory_order_acq_rel);
            std::string taskName;
            try {
                taskName = task->name();
            } catch (...) {
                // The name is for the thread's label and reports only; the task still runs.
            }
            setWorkerThreadName(taskName);
            runReportingFailure(task, taskName, name_);
            task.reset();
            tasksRun_.fetch_add(1, std::memory_order_relaxed);
            busyCount_.fetch_sub(1, std::memory_order_acq_rel);
            queueMutex_->lock();
        }
        queueMutex_->unlock();
        setWorkerThreadName(name_);
    }
}

bool PoolWorker::addThread() {
    ScopedLock countLock(countMutex_);
    if (pool_ == nullptr || threadCount_ >= maxThreads_) {
        return false;
    }
    if (!createThread(this)) {
        return false;
    }
    ++threadCount_;
    return true;
}

bool PoolWorker::hasCapacity() {
    return busyCount_.load(std::memory_order_acquire) <
           threadCount_.load(std::memory_order_acquire);
}

void PoolWorker::wakeUpThread() {
    wake_.signal();
}

bool PoolWorker::stayAlive(bool& timedOut, bool& lastThread) {
    ScopedLock countLock(countMutex_);
    if (pool_ != nullptr) {
        if (timedOut && threadCount_ > minThreads_) {
            // An enqueue pushes its task and reads the counts under the queue mutex, so the look
            // at the queue and the count without this thread are one step under that mutex too.
            // Either the enqueue came first, and its task is seen here; or it comes after, reads
            // a count without this thread and starts one. Counted down after the mutex was let
            // go, an enqueue in between took this thread for an idle one, only signalled it, and
            // its task stayed queued with no thread to run it.
            ScopedLock queueLock(*queueMutex_);
            if (urgentQueue_->empty() && normalQueue_->empty()) {
                --threadCount_;
                return false;
            }
        }
        timedOut = false;
        return true;
    }
    --threadCount_;
    if (threadCount_ == 0) {
        lastThread = true;
    }
    return false;
}

bool PoolWorker::shutdown() {
    std::deque<TaskPtr> dropped;
    bool noThreadAlive = false;
    {
        ScopedLock countLock(countMutex_);
        ScopedLock queueLock(*queueMutex_);
        if (pool_ == nullptr) {
            return false;
        }
        for (auto* queue : {urgentQueue_.get(), normalQueue_.get()}) {
            for (TaskPtr& task : *queue) {
                dropped.push_back(std::move(task));
            }
            queue->clear();
        }
        pool_ = nullptr;
        if (threadCount_ > 0) {
            wake_.broadcast();
        }
        noThreadAlive = threadCount_ == 0;
    }
    // From here on the last thread may delete this object: only locals are touched.
    for (const TaskPtr& task : dropped) {
        releaseDropped(task);
    }
    return noThreadAlive;
}

bool PoolWorker::createThread(Runnable* runnable) {
    pthread_attr_t attributes;
    int result = pthread_attr_init(&attributes);
    if (result == 0) {
        result = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (result == 0) {
            pthread_t thread;
            result = pthread_create(&thread, &attributes, &poolThreadMain, runnable);
        }
        pthread_attr_destroy(&attributes);
    }
    if (result != 0) {
        fprintf(stderr, "ThreadPool \"%s\": could not start a worker thread: %s\n", name_.c_str(),
                strerror(result));
        return false;
    }
    return true;
}

unsigned int PoolWorker::threadCount() {
    return threadCount_.load(std::memory_order_acquire);
}

unsigned int PoolWorker::busyCount() {
    return busyCount_.load(std::memory_order_acquire);
}

void PoolWorker::countRunElsewhere() {
    tasksRun_.fetch_add(1, std::memory_order_relaxed);
}

bool PoolWorker::isCallingThreadOurs() const {
    return tCurrentWorker == this;
}

void PoolWorker::snapshot(unsigned int& threads, unsigned int& busy, std::uint64_t& tasksRun,
                          std::size_t& urgentQueued, std::size_t& normalQueued) {
    ScopedLock countLock(countMutex_);
    ScopedLock queueLock(*queueMutex_);
    threads = threadCount_;
    busy = busyCount_;
    tasksRun = tasksRun_;
    urgentQueued = urgentQueue_->size();
    normalQueued = normalQueue_->size();
}

void PoolWorker::releaseDropped(const TaskPtr& task) {
    if (auto* blocking = dynamic_cast<BlockingTask*>(task.get())) {
        blocking->getDoneEvent().set();
    }
}

void PoolWorker::runReportingFailure(const TaskPtr& task, const std::string& taskName,
                                     const std::string& poolName) {
    // A task's failure is its own: it must neither end the process nor take the thread with it.
    // A blocking task has released its waiter by the time its exception arrives here.
    try {
        task->execute();
    } catch (const std::exception& exception) {
        fprintf(stderr, "ThreadPool \"%s\": task \"%s\" threw an exception: %s\n", poolName.c_str(),
                taskName.c_str(), exception.what());
    } catch (...) {
        fprintf(stderr,
                "ThreadPool \"%s\": task \"%s\" threw an exception that is not a std::exception\n",
                poolName.c_str(), taskName.c_str());
    }
}

}  // namespace zam
