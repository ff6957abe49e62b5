#include <ZAMUnified/Processing/TaskDispatcher.h>

#include <KORCoreUtils/FunctionTask.h>

#include <cstdint>
#include <utility>

#include "common/detail/ModuleLoggers.h"

namespace ZAMUnified {
namespace Processing {

namespace {

const char* const kSourcePath = "services/servicesframework/src/common/processing/TaskDispatcher";

TaskPtr functionTask(std::function<void()> function, const std::string& name) {
    return std::make_shared<KORCoreUtils::FunctionTask>(std::move(function), name);
}

}  // namespace

TaskDispatcher::TaskDispatcher(const std::string& name, unsigned int threads, long idleSeconds)
    : pool_(std::make_shared<zam::ThreadPool>(
          threads, threads, name,
          static_cast<unsigned int>(static_cast<std::uint32_t>(idleSeconds)))) {}

TaskDispatcher::~TaskDispatcher() = default;

// A null task goes to the pool unlogged: the pool refuses it with its own line on standard error.

void TaskDispatcher::enqueue(TaskPtr task) {
    if (task) {
        SF_LOG_DEBUG(detail::taskDispatcherLogger, kSourcePath, "enqueue",
                     "Enqueue " << task->name() << " - Queue Size: " << pool_->queueSize());
    }
    pool_->enqueue(std::move(task), false, false);
}

void TaskDispatcher::enqueueUrgent(TaskPtr task) {
    if (task) {
        SF_LOG_DEBUG(detail::taskDispatcherLogger, kSourcePath, "enqueueUrgent",
                     "EnqueueUrgent " << task->name() << " - Queue Size: " << pool_->queueSize());
    }
    pool_->enqueue(std::move(task), false, true);
}

void TaskDispatcher::enqueueBlock(TaskPtr task) {
    if (task) {
        SF_LOG_DEBUG(detail::taskDispatcherLogger, kSourcePath, "enqueueBlock",
                     "EnqueueBlock " << task->name() << " - Queue Size: " << pool_->queueSize());
    }
    pool_->enqueue(std::move(task), true, false);
}

bool TaskDispatcher::enqueueAndWait(TaskPtr task) {
    if (task) {
        SF_LOG_DEBUG(detail::taskDispatcherLogger, kSourcePath, "enqueueAndWait",
                     "EnqueueAndWait " << task->name() << " - Queue Size: " << pool_->queueSize());
    }
    return pool_->enqueueAndWait(std::move(task), false);
}

void TaskDispatcher::enqueue(std::function<void()> function, const std::string& name) {
    pool_->enqueue(functionTask(std::move(function), name), false, false);
}

void TaskDispatcher::enqueueUrgent(std::function<void()> function, const std::string& name) {
    pool_->enqueue(functionTask(std::move(function), name), false, true);
}

void TaskDispatcher::enqueueBlock(std::function<void()> function, const std::string& name) {
    pool_->enqueue(functionTask(std::move(function), name), true, false);
}

bool TaskDispatcher::enqueueAndWait(std::function<void()> function, const std::string& name) {
    return pool_->enqueueAndWait(functionTask(std::move(function), name), false);
}

unsigned int TaskDispatcher::queueSize() {
    return pool_->queueSize();
}

zam::ThreadPool::Statistics TaskDispatcher::getStatistics() const {
    return pool_->getStatistics();
}

}  // namespace Processing
}  // namespace ZAMUnified
