#include <ZAMUnified/ServicesDispatcher.h>

#include <KORCoreUtils.h>
#include <KORCoreUtils/FunctionTask.h>
#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <zam/BlockingTask.h>
#include <zam/ScopedLock.h>

#include <algorithm>
#include <climits>
#include <ios>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/detail/ModuleLoggers.h"
#include "common/detail/TimeLimit.h"

namespace ZAMUnified {

namespace {

const char* const kSourcePath = "services/servicesframework/src/framework/ServicesDispatcher";

using Clock = std::chrono::system_clock;

std::chrono::milliseconds wholeMs(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration);
}

std::chrono::microseconds wholeUs(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::microseconds>(duration);
}

using Steady = std::chrono::steady_clock;

// What Event::timedWait takes to wait until `until`: whole milliseconds rounded up, so that the
// wait does not end just short of it; no limit for no deadline.
long millisecondsUntil(Steady::time_point until) {
    if (until == zam::detail::kNoDeadline) {
        return LONG_MAX;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Steady::now());
    return std::max(0L, static_cast<long>(left.count()));
}

void requireTask(const TaskPtr& task, const char* operation) {
    if (!task) {
        throw std::invalid_argument(std::string("ServicesDispatcher::") + operation +
                                    ": the task is null");
    }
}

}  // namespace

ServicesDispatcher::ServicesDispatcher()
    : dispatcherThread_(KORCoreUtils::ThreadUtils::getCurrentThreadId()),
      queue_(std::make_shared<Processing::TaskQueue>()),
      newTaskEvent_(true) {
    // Room for a few nested pumps, so that pick-ups do not allocate.
    running_.reserve(4);
}

ServicesDispatcher::~ServicesDispatcher() {
    while (TaskPtr task = queue_->dequeueTask()) {
        releaseDropped(task);
    }
}

void ServicesDispatcher::enqueue(TaskPtr task, bool urgent, bool loggable) {
    requireTask(task, "enqueue");
    // The name is only needed for the not-loggable list and the debug record; every enqueue
    // pays for it otherwise, so it is asked for only then.
    if (!loggable) {
        updateNotLoggableTasks(task->name(), loggable);
    } else {
        SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "enqueue",
                     "ServicesDispatcher.enqueue: " << task->name());
    }
    // The queue stamps the task as it accepts it; that stamp is the guard check's "now", which
    // spares a clock read per enqueue. The copy keeps the task readable should the dispatcher
    // thread run and drop it meanwhile.
    queue_->enqueueTask(task, urgent);
    warnOnDispatcherThreadBusy(task->getSubmissionTime());
    task.reset();
    if (!callbackEverInstalled_.load(std::memory_order_acquire)) {
        newTaskEvent_.set();
        return;
    }
    // A local copy, so that a concurrent setDispatcherCallback cannot free the callback under us.
    std::shared_ptr<ServicesDispatcherCallback> callback = std::atomic_load(&callback_);
    if (callback) {
        callback->onTaskEnqueued();
    } else {
        newTaskEvent_.set();
    }
}

void ServicesDispatcher::enqueue(std::function<void()> function, const std::string& name,
                                 bool urgent, bool loggable) {
    enqueue(std::make_shared<KORCoreUtils::FunctionTask>(std::move(function), name), urgent,
            loggable);
}

void ServicesDispatcher::enqueueBlock(TaskPtr task, bool urgent, bool loggable) {
    requireTask(task, "enqueueBlock");
    (void)enqueueAndWait(std::move(task), urgent, loggable);
}

void ServicesDispatcher::enqueueBlock(std::function<void()> function, const std::string& name,
                                      bool urgent, bool loggable) {
    enqueueBlock(std::make_shared<KORCoreUtils::FunctionTask>(std::move(function), name), urgent,
                 loggable);
}

bool ServicesDispatcher::enqueueAndWait(TaskPtr task, bool urgent, bool loggable) {
    requireTask(task, "enqueueAndWait");
    auto blocking = std::make_shared<zam::BlockingTask>(std::move(task));
    if (checkForUpdateAccess()) {
        runBlockingHere(blocking, loggable);
        return true;
    }
    enqueue(blocking, urgent, loggable);
    return awaitRun(blocking, "enqueueBlock", zam::detail::kNoDeadline);
}

bool ServicesDispatcher::enqueueAndWait(std::function<void()> function, const std::string& name,
                                        bool urgent, bool loggable) {
    return enqueueAndWait(std::make_shared<KORCoreUtils::FunctionTask>(std::move(function), name),
                          urgent, loggable);
}

bool ServicesDispatcher::runOnDispatcherThread(std::function<void()> function,
                                               std::chrono::milliseconds timeout,
                                               const std::string& name) {
    auto blocking = std::make_shared<zam::BlockingTask>(
        std::make_shared<KORCoreUtils::FunctionTask>(std::move(function), name));
    if (checkForUpdateAccess()) {
        runBlockingHere(blocking, true);
        return true;
    }
    // The deadline is fixed before the enqueue, so the time a pump takes to start counts.
    const Steady::time_point deadline =
        zam::detail::deadlineAfter(Steady::now(), static_cast<long>(timeout.count()));
    enqueue(blocking, false, true);
    return awaitRun(blocking, "runOnDispatcherThread", deadline);
}

void ServicesDispatcher::runBlockingHere(const std::shared_ptr<zam::BlockingTask>& blocking,
                                         bool loggable) {
    // Only this thread could pump the task, so waiting for it would never end: run it here, as a
    // nested pump would, so that it is timed, logged and kept out of other pumps.
    zam::ScopedLock pumpLock(pumpMutex_);
    updateNotLoggableTasks(blocking->name(), loggable);
    blocking->markSubmitted();
    recordPickUp(blocking);
    executeTask(blocking);
}

bool ServicesDispatcher::awaitRun(const std::shared_ptr<zam::BlockingTask>& blocking,
                                  const char* operation, Steady::time_point deadline) {
    const Steady::time_point since = Steady::now();
    const long period = std::max(1L, waitReportPeriodMs_.load(std::memory_order_relaxed));
    Steady::time_point nextReport = zam::detail::deadlineAfter(since, period);
    zam::Event& done = blocking->getDoneEvent();
    while (!done.timedWait(millisecondsUntil(std::min(deadline, nextReport)))) {
        const Steady::time_point now = Steady::now();
        if (now >= deadline) {
            // Not taken up in time: withdrawn, it never runs, even if a pump has just dequeued
            // it. Taken up already, it is waited for to the end.
            if (blocking->withdraw()) {
                (void)queue_->removeTask(blocking);
                return false;
            }
            done.wait();
            break;
        }
        if (now < nextReport) {
            continue;
        }
        // A host that never pumps, or pumps another thread, would otherwise leave this caller
        // waiting without a word. A task already taken up is the running-task guard's concern.
        if (!blocking->hasStarted()) {
            SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_WARNING, kSourcePath, operation,
                   "Task '"
                       << blocking->name() << "' has waited ["
                       << std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count()
                       << "] milliseconds for the dispatcher thread, which has not run it "
                          "yet");
        }
        while (nextReport <= now) {
            nextReport = zam::detail::deadlineAfter(nextReport, period);
        }
    }
    return blocking->hasStarted();
}

void ServicesDispatcher::pumpAll() {
    zam::ScopedLock pumpLock(pumpMutex_);
    ensureUpdateAccess(std::string());
    // A task taken right after another completed quietly is picked up at that completion time:
    // the two are nanoseconds apart, and the clock read is a good part of a tiny task's cost.
    Clock::time_point now;
    for (TaskPtr task = takeTask(now); task; task = takeTask(now)) {
        now = runTask(std::move(task));
    }
    SF_LOG_TRACE(detail::servicesDispatcherLogger, kSourcePath, "pumpAll", " pumpAll.exit ");
}

void ServicesDispatcher::pumpNext() {
    zam::ScopedLock pumpLock(pumpMutex_);
    ensureUpdateAccess(std::string());
    if (TaskPtr task = nextTask()) {
        executeTask(std::move(task));
    }
}

void ServicesDispatcher::waitForDispatcherTask() {
    if (queue_->size() > 0) {
        return;
    }
    newTaskEvent_.wait();
}

void ServicesDispatcher::waitForDispatcherTask(long milliseconds) {
    if (queue_->size() > 0) {
        return;
    }
    (void)newTaskEvent_.timedWait(milliseconds);
}

bool ServicesDispatcher::checkForUpdateAccess() const {
    return dispatcherThread_.load(std::memory_order_acquire) ==
           KORCoreUtils::ThreadUtils::getCurrentThreadId();
}

void ServicesDispatcher::ensureUpdateAccess(std::string name) {
    if (checkForUpdateAccess()) {
        return;
    }
    DispatcherAccessExceptionImpl refusal(name);
    SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "ensureUpdateAccess",
                 "ensureUpdateAccess " << refusal.getMessage());
    throw refusal;
}

void ServicesDispatcher::resetDispatcherThread() {
    if (checkForUpdateAccess()) {
        return;
    }
    zam::ScopedLock pumpLock(pumpMutex_);
    const std::uint64_t current = KORCoreUtils::ThreadUtils::getCurrentThreadId();
    const std::uint64_t previous = dispatcherThread_.exchange(current, std::memory_order_acq_rel);
    SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "resetDispatcherThread",
                 "Reset dispatcher thread from [0x" << std::hex << previous << "] to [0x" << current
                                                    << "]" << std::dec);
}

void ServicesDispatcher::setDispatcherCallback(
    std::shared_ptr<ServicesDispatcherCallback> callback) {
    std::atomic_store(&callback_, std::move(callback));
    // After the store: an enqueue that still sees false sets the event, as it would have done
    // had it read the callback just before it was installed.
    callbackEverInstalled_.store(true, std::memory_order_release);
}

void ServicesDispatcher::setWaitReportPeriodForTest(std::chrono::milliseconds period) {
    waitReportPeriodMs_.store(static_cast<long>(period.count()), std::memory_order_relaxed);
}

void ServicesDispatcher::clear() {
    const int size = queue_->size();
    if (size > kGuardSize) {
        SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "clear",
               "Task queue is back to a safe size (cleared)");
    }
    // Taken one by one rather than cleared wholesale, so that the waiters of blocking tasks can
    // be released; a task enqueued meanwhile is dropped as well.
    while (TaskPtr task = queue_->dequeueTask()) {
        releaseDropped(task);
    }
}

int ServicesDispatcher::getQueueSize() {
    return queue_->size();
}

std::string ServicesDispatcher::getLastTaskName() {
    zam::ScopedLock lock(taskInfoMutex_);
    return lastTaskName_;
}

void ServicesDispatcher::updateNotLoggableTasks(const std::string& name, bool loggable) {
    if (name.empty() || loggable) {
        return;
    }
    zam::ScopedLock lock(notLoggableMutex_);
    if (notLoggableTasks_.count(name) == 0) {
        SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "updateNotLoggableTasks",
                     "Not loggable task: " << name);
        notLoggableTasks_.insert(name);
        anyNotLoggable_.store(true, std::memory_order_release);
    }
}

bool ServicesDispatcher::isTaskLoggable(const std::string& name) {
    if (name.empty() || !anyNotLoggable_.load(std::memory_order_acquire)) {
        return true;
    }
    zam::ScopedLock lock(notLoggableMutex_);
    return notLoggableTasks_.count(name) == 0;
}

void ServicesDispatcher::warnOnDispatcherThreadBusy() {
    warnOnDispatcherThreadBusy(Clock::now());
}

void ServicesDispatcher::warnOnDispatcherThreadBusy(Clock::time_point now) {
    zam::ScopedLock lock(taskInfoMutex_);
    // The fields are read directly: this lock is already held, and this check runs on every
    // enqueue.
    if (lastPickedUp_ == Clock::time_point()) {
        const int size = queue_->size();
        lock.unlock();
        if (size > kGuardSize) {
            // Said on every enqueue while nothing has run, so the text is put together without
            // a string stream, whose set-up costs more than the rest of the enqueue.
            ZAMLog(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_INFO, kSourcePath, __LINE__,
                   "warnOnDispatcherThreadBusy",
                   "Task queue has reached the size of [" + std::to_string(size) +
                       "]. No tasks have been run yet");
        }
        return;
    }
    if (lastCompleted_ == Clock::time_point()) {
        const std::chrono::milliseconds elapsed = wholeMs(now - lastPickedUp_);
        if (elapsed.count() <= kGuardExecutionTimeMs) {
            return;
        }
        const std::string name = lastTaskName_;
        const int size = queue_->size();
        lock.unlock();
        SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_WARNING, kSourcePath,
               "warnOnDispatcherThreadBusy",
               "Task '" << name << "' has been running for [" << elapsed.count()
                        << "] milliseconds exceeding the guard execution time of ["
                        << kGuardExecutionTimeMs << "] milliseconds. Current queue size is ["
                        << size << "] task");
        return;
    }
    // Both conditions must hold; the size is the cheaper one to read, so it goes first.
    const int size = queue_->size();
    if (size <= kGuardSize) {
        return;
    }
    const std::chrono::milliseconds queued = queue_->getFirstTaskQueuedTime(now);
    if (queued.count() <= kGuardQueuedTimeMs) {
        return;
    }
    const std::chrono::milliseconds sinceCompletion = computeTimeElapsedSinceLastTaskCompletion();
    lock.unlock();
    SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_WARNING, kSourcePath,
           "warnOnDispatcherThreadBusy",
           "The first task on the queue has been waiting for ["
               << queued.count() << "] milliseconds exceeding the guard queued time of ["
               << kGuardQueuedTimeMs << "] milliseconds. Queue size reached [" << size
               << "] task exceeding the guard size of [" << kGuardSize
               << "] tasks. The last executed task was completed [" << sinceCompletion.count()
               << "] milliseconds ago");
}

bool ServicesDispatcher::hasAnyTaskBeenPickedUp() {
    zam::ScopedLock lock(taskInfoMutex_);
    return lastPickedUp_ != Clock::time_point();
}

bool ServicesDispatcher::wasLastPickedUpTaskCompleted() {
    zam::ScopedLock lock(taskInfoMutex_);
    return lastCompleted_ != Clock::time_point();
}

bool ServicesDispatcher::hasGuardQueuedTimeBeenExceeded() {
    return queue_->getFirstTaskQueuedTime().count() > kGuardQueuedTimeMs;
}

std::chrono::milliseconds ServicesDispatcher::computeTimeElapsedSinceLastTaskCompletion() {
    zam::ScopedLock lock(taskInfoMutex_);
    if (lastPickedUp_ == Clock::time_point()) {
        return std::chrono::milliseconds(0);
    }
    return wholeMs(Clock::now() - lastCompleted_);
}

std::chrono::milliseconds ServicesDispatcher::computeElapsedTime() {
    zam::ScopedLock lock(taskInfoMutex_);
    if (lastPickedUp_ == Clock::time_point()) {
        return std::chrono::milliseconds(0);
    }
    return wholeMs(Clock::now() - lastPickedUp_);
}

std::chrono::milliseconds ServicesDispatcher::computeWaitingTime(TaskPtr task) {
    zam::ScopedLock lock(taskInfoMutex_);
    if (lastPickedUp_ == Clock::time_point() || !task) {
        return std::chrono::milliseconds(0);
    }
    return wholeMs(lastPickedUp_ - task->getSubmissionTime());
}

TaskPtr ServicesDispatcher::nextTask() {
    return takeTask(Clock::time_point());
}

TaskPtr ServicesDispatcher::takeTask(Clock::time_point pickedUp) {
    TaskPtr task;
    {
        zam::ScopedLock lock(taskInfoMutex_);
        task = queue_->dequeueTask();
        if (!task) {
            return task;
        }
        if (pickedUp == Clock::time_point()) {
            pickedUp = Clock::now();
        } else {
            // A task queued from another thread after that completion was read must not seem to
            // have been picked up before it was queued.
            pickedUp = std::max(pickedUp, task->getSubmissionTime());
        }
        recordPickUpLocked(task, pickedUp);
    }
    if (queue_->size() == kGuardSize) {
        SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "nextTask",
               "Task queue is back to a safe size");
    }
    return task;
}

void ServicesDispatcher::recordPickUp(const TaskPtr& task) {
    zam::ScopedLock lock(taskInfoMutex_);
    recordPickUpLocked(task, Clock::now());
}

void ServicesDispatcher::recordPickUpLocked(const TaskPtr& task, Clock::time_point pickedUp) {
    lastTaskName_ = task->name();
    lastPickedUp_ = pickedUp;
    lastCompleted_ = Clock::time_point();
    longestWait_ = std::max(longestWait_, lastPickedUp_ - task->getSubmissionTime());
    running_.push_back(RunningTask{task, lastPickedUp_});
}

std::chrono::system_clock::time_point ServicesDispatcher::finishRunningLocked(const TaskPtr& task) {
    ++tasksRun_;
    // Nearly always the last entry; searched from the end for a task that pumped again and
    // returned through an exception.
    for (auto entry = running_.rbegin(); entry != running_.rend(); ++entry) {
        if (entry->task == task) {
            const Clock::time_point pickedUp = entry->pickedUp;
            running_.erase(std::next(entry).base());
            return pickedUp;
        }
    }
    return lastPickedUp_;
}

void ServicesDispatcher::recordCompletionLocked(const TaskPtr& task, Clock::time_point completed) {
    lastCompleted_ = completed;
    lastFinished_ = completed;
    // Measured from this task's own pick-up: after a nested pump lastPickedUp_ is the inner
    // task's.
    const Clock::duration took = completed - finishRunningLocked(task);
    longestExecution_ = std::max(longestExecution_, took);
    if (wholeMs(took).count() > kGuardExecutionTimeMs) {
        ++tasksOverGuardTime_;
    }
}

ServicesDispatcher::Statistics ServicesDispatcher::getStatistics() const {
    Statistics statistics;
    zam::ScopedLock lock(taskInfoMutex_);
    const Clock::time_point now = Clock::now();
    statistics.queueSize = queue_->size();
    statistics.frontTaskWait = queue_->getFirstTaskQueuedTime();
    if (!running_.empty()) {
        statistics.runningTaskName = running_.back().task->name();
        statistics.runningFor = wholeUs(now - running_.back().pickedUp);
    }
    statistics.tasksRun = tasksRun_;
    statistics.tasksOverGuardTime = tasksOverGuardTime_;
    statistics.longestExecution = wholeUs(longestExecution_);
    statistics.longestWait = wholeUs(longestWait_);
    statistics.anyTaskCompleted = lastFinished_ != Clock::time_point();
    if (statistics.anyTaskCompleted) {
        statistics.sinceLastCompletion = wholeUs(now - lastFinished_);
    }
    return statistics;
}

void ServicesDispatcher::executeTask(TaskPtr task) {
    (void)runTask(std::move(task));
}

ServicesDispatcher::Clock::time_point ServicesDispatcher::runTask(TaskPtr task) {
    const bool loggable =
        !anyNotLoggable_.load(std::memory_order_acquire) || isTaskLoggable(task->name());
    if (loggable) {
        SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "executeTask",
                     " executing (" << getLastTaskName() << ")");
    }
    try {
        task->execute();
    } catch (...) {
        // The task is over all the same. Left uncompleted, the guard would go on timing it from
        // its pick-up and warn on a later enqueue that it "has been running" all along, while
        // the statistics said nothing runs. Only the execution report is skipped: the exception
        // is the report, and it goes on to the pump's caller unchanged.
        zam::ScopedLock lock(taskInfoMutex_);
        recordCompletionLocked(task, Clock::now());
        throw;
    }
    zam::ScopedLock lock(taskInfoMutex_);
    recordCompletionLocked(task, Clock::now());
    const std::chrono::milliseconds elapsed = wholeMs(lastCompleted_ - lastPickedUp_);
    const bool slow = elapsed.count() > kGuardExecutionTimeMs;
    if (!slow && !(loggable && ZAMLog_isDebugEnabled(detail::servicesDispatcherLogger))) {
        return lastCompleted_;  // nothing to report: spare the hot path the copies below
    }
    const std::string name = lastTaskName_;
    const std::chrono::milliseconds waiting = computeWaitingTime(task);
    lock.unlock();
    if (slow) {
        SF_LOG(detail::servicesDispatcherLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "executeTask",
               " executed (" << name << ") in [" << elapsed.count()
                             << "] milliseconds. This task exceeded the guard execution time of ["
                             << kGuardExecutionTimeMs << "] milliseconds. Waiting time was ["
                             << waiting.count() << "] milliseconds");
    } else if (loggable) {
        SF_LOG_DEBUG(detail::servicesDispatcherLogger, kSourcePath, "executeTask",
                     " executed (" << name << ") in [" << elapsed.count()
                                   << "] milliseconds. Waiting time was [" << waiting.count()
                                   << "] milliseconds");
    }
    return Clock::time_point();
}

void ServicesDispatcher::releaseDropped(const TaskPtr& task) {
    if (auto* blocking = dynamic_cast<zam::BlockingTask*>(task.get())) {
        blocking->getDoneEvent().set();
    }
}

}  // namespace ZAMUnified
