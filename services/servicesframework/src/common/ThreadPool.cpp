#include <zam/ThreadPool.h>

#include <zam/BlockingTask.h>
#include <zam/PoolWorker.h>
#include <zam/ScopedLock.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace zam {

ThreadPool::ThreadPool(unsigned int minThreads, unsigned int maxThreads, unsigned int idleSeconds)
    : ThreadPool(minThreads, maxThreads, std::string(), idleSeconds) {}

ThreadPool::ThreadPool(unsigned int minThreads, unsigned int maxThreads, const std::string& name,
                       unsigned int idleSeconds)
    : worker_(nullptr),
      normalQueue_(std::make_shared<std::deque<TaskPtr>>()),
      urgentQueue_(std::make_shared<std::deque<TaskPtr>>()),
      queueMutex_(std::make_shared<Mutex>()),
      minThreads_(minThreads),
      maxThreads_(maxThreads) {
    init(idleSeconds, name);
}

ThreadPool::~ThreadPool() {
    if (worker_->shutdown()) {
        delete worker_;
    }
    worker_ = nullptr;
}

void ThreadPool::init(unsigned int idleSeconds, const std::string& name) {
    worker_ = new PoolWorker(this, normalQueue_, urgentQueue_, queueMutex_,
                             static_cast<long>(idleSeconds) * 1000L, name);
    worker_->setLimits(minThreads_, maxThreads_);
    for (unsigned int i = 0; i < minThreads_; ++i) {
        if (!worker_->addThread()) {
            break;
        }
    }
}

void ThreadPool::enqueue(TaskPtr task, bool block, bool urgent) {
    if (block) {
        (void)enqueueAndWait(std::move(task), urgent);
    } else {
        (void)push(std::move(task), urgent);
    }
}

bool ThreadPool::enqueueAndWait(TaskPtr task, bool urgent) {
    if (!task) {
        return push(std::move(task), urgent);
    }
    auto blocking = std::make_shared<BlockingTask>(std::move(task));
    const bool taken = push(blocking, urgent);
    // Waiting would never end when no thread runs and none could be started, or when the caller
    // is itself one of the pool's threads and no other could take the task: every thread is busy
    // and the pool is at its maximum, so the task would wait for the very thread that waits for
    // it. Unless a thread has taken the task meanwhile, run it here.
    if (worker_->threadCount() == 0 || (!taken && worker_->isCallingThreadOurs())) {
        std::deque<TaskPtr>& queue = urgent ? *urgentQueue_ : *normalQueue_;
        bool stillQueued = false;
        {
            ScopedLock queueLock(*queueMutex_);
            auto found = std::find(queue.begin(), queue.end(), blocking);
            if (found != queue.end()) {
                queue.erase(found);
                stillQueued = true;
            }
        }
        if (stillQueued) {
            PoolWorker::runReportingFailure(blocking, blocking->name(), worker_->name());
            worker_->countRunElsewhere();
            return true;
        }
    }
    blocking->getDoneEvent().wait();
    return blocking->hasStarted();
}

bool ThreadPool::push(TaskPtr task, bool urgent) {
    if (!task) {
        fprintf(stderr, "ThreadPool \"%s\": a null task was given to enqueue and is ignored\n",
                worker_->name().c_str());
        return false;
    }
    std::deque<TaskPtr>& queue = urgent ? *urgentQueue_ : *normalQueue_;
    // An idle thread is signalled while the queue mutex is still held. Signalled after its
    // release, with threads coming and going from the wait, the condition often made the
    // enqueuing thread wait in the kernel for earlier waiters to wake; with tiny tasks that
    // tripled a pool's time. Whether a thread is idle is read from atomic counts, so no count
    // mutex is taken under the queue mutex; a new thread is still started outside it.
    {
        ScopedLock queueLock(*queueMutex_);
        queue.push_back(std::move(task));
        if (worker_->hasCapacity()) {
            worker_->wakeUpThread();
            return true;
        }
    }
    return worker_->addThread();
}

void ThreadPool::clearQueue() {
    std::deque<TaskPtr> dropped;
    {
        ScopedLock queueLock(*queueMutex_);
        for (auto* queue : {urgentQueue_.get(), normalQueue_.get()}) {
            for (TaskPtr& task : *queue) {
                dropped.push_back(std::move(task));
            }
            queue->clear();
        }
    }
    for (const TaskPtr& task : dropped) {
        PoolWorker::releaseDropped(task);
    }
}

unsigned int ThreadPool::queueSize() const {
    ScopedLock queueLock(*queueMutex_);
    return static_cast<unsigned int>(urgentQueue_->size() + normalQueue_->size());
}

unsigned int ThreadPool::threadCount() const {
    return worker_->threadCount();
}

unsigned int ThreadPool::busyCount() const {
    return worker_->busyCount();
}

ThreadPool::Statistics ThreadPool::getStatistics() const {
    Statistics statistics;
    std::size_t urgent = 0;
    std::size_t normal = 0;
    worker_->snapshot(statistics.threadsAlive, statistics.threadsBusy, statistics.tasksRun, urgent,
                      normal);
    statistics.urgentQueued = static_cast<unsigned int>(urgent);
    statistics.normalQueued = static_cast<unsigned int>(normal);
    return statistics;
}

}  // namespace zam
