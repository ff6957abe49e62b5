#include <ZAMUnified/Processing/TaskQueue.h>

#include <zam/ScopedLock.h>

#include "common/detail/TimeLimit.h"

#include <algorithm>
#include <utility>

namespace ZAMUnified {
namespace Processing {

TaskQueue::TaskQueue() = default;

TaskQueue::~TaskQueue() = default;

void TaskQueue::enqueueTask(TaskPtr task, bool urgent) {
    if (!task) {
        return;
    }
    zam::ScopedLock lock(mutex_);
    task->markSubmitted();
    if (!waiters_.empty()) {
        WaitInfo* waiter = waiters_.front();
        waiters_.pop_front();
        zam::ScopedLock waiterLock(waiter->mutex);
        waiter->task = std::move(task);
        waiter->woken = true;
        waiter->condition.signal();
        return;
    }
    if (urgent) {
        tasks_.push_front(std::move(task));
    } else {
        tasks_.push_back(std::move(task));
    }
    size_.store(static_cast<int>(tasks_.size()), std::memory_order_release);
}

void TaskQueue::enqueueUrgentTask(TaskPtr task) {
    enqueueTask(std::move(task), true);
}

TaskPtr TaskQueue::dequeueTask() {
    zam::ScopedLock lock(mutex_);
    if (tasks_.empty()) {
        return TaskPtr();
    }
    TaskPtr task = std::move(tasks_.front());
    tasks_.pop_front();
    size_.store(static_cast<int>(tasks_.size()), std::memory_order_release);
    return task;
}

TaskPtr TaskQueue::waitDequeueTask(long timeoutMilliseconds) {
    // A time-out too large for the clock gives no deadline: the wait below then ends only with a
    // hand-over or wakeUpAll().
    const auto deadline =
        zam::detail::deadlineAfter(std::chrono::steady_clock::now(), timeoutMilliseconds);
    WaitInfo info;
    {
        zam::ScopedLock lock(mutex_);
        if (!tasks_.empty()) {
            TaskPtr task = std::move(tasks_.front());
            tasks_.pop_front();
            size_.store(static_cast<int>(tasks_.size()), std::memory_order_release);
            return task;
        }
        waiters_.push_back(&info);
        // Taken before the queue's mutex is released, so no hand-over can slip in before this
        // consumer waits.
        info.mutex.lock();
    }
    while (!info.woken) {
        if (info.condition.waitUntil(info.mutex, deadline) != 0) {
            break;
        }
    }
    info.mutex.unlock();

    // A producer may have picked this consumer just as the wait ran out; it then holds the queue's
    // mutex while it hands the task over, so once we hold that mutex the outcome is settled.
    zam::ScopedLock lock(mutex_);
    auto position = std::find(waiters_.begin(), waiters_.end(), &info);
    if (position != waiters_.end()) {
        waiters_.erase(position);
    }
    return std::move(info.task);
}

void TaskQueue::wakeUpAll() {
    zam::ScopedLock lock(mutex_);
    for (WaitInfo* waiter : waiters_) {
        zam::ScopedLock waiterLock(waiter->mutex);
        waiter->woken = true;
        waiter->condition.signal();
    }
    waiters_.clear();
}

void TaskQueue::clear() {
    zam::ScopedLock lock(mutex_);
    tasks_.clear();
    size_.store(0, std::memory_order_release);
}

bool TaskQueue::removeTask(const TaskPtr& task) {
    zam::ScopedLock lock(mutex_);
    auto position = std::find(tasks_.begin(), tasks_.end(), task);
    if (position == tasks_.end()) {
        return false;
    }
    tasks_.erase(position);
    size_.store(static_cast<int>(tasks_.size()), std::memory_order_release);
    return true;
}

int TaskQueue::size() {
    return size_.load(std::memory_order_acquire);
}

int TaskQueue::waiterCount() {
    zam::ScopedLock lock(mutex_);
    return static_cast<int>(waiters_.size());
}

std::chrono::milliseconds TaskQueue::getFirstTaskQueuedTime() {
    // Held across the clock read (the mutex is recursive), so the front task cannot change
    // between the reading and the measuring.
    zam::ScopedLock lock(mutex_);
    return getFirstTaskQueuedTime(std::chrono::system_clock::now());
}

std::chrono::milliseconds TaskQueue::getFirstTaskQueuedTime(
    std::chrono::system_clock::time_point now) {
    zam::ScopedLock lock(mutex_);
    if (tasks_.empty()) {
        return std::chrono::milliseconds(0);
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        now - tasks_.front()->getSubmissionTime());
}

}  // namespace Processing
}  // namespace ZAMUnified
