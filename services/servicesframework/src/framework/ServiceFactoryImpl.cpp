#include <ZAMUnified/ServiceFactoryImpl.h>

#include <zam/ScopedLock.h>

#include "framework/detail/EnvironmentConsole.h"

#include <chrono>
#include <thread>
#include <utility>

namespace ZAMUnified {

ServiceFactoryImpl::ServiceFactoryImpl() = default;

ServiceFactoryImpl::~ServiceFactoryImpl() = default;

void ServiceFactoryImpl::initializeServiceFactory() {
    // Under the lock, so that two threads making the very first call create one factory; the
    // pointer is stored before Init() so that a nested call from Init() finds it.
    bool created = false;
    {
        zam::ScopedLock lock(factoryMutex_);
        if (!unifiedFactory_) {
            unifiedFactory_ = std::make_shared<UnifiedFactory>();
            unifiedFactory_->Init();
            created = true;
        }
    }
    // Outside the lock: the console asks this factory for its unified factory as it starts.
    if (created) {
        detail::startEnvironmentConsole(*this);
    }
}

std::shared_ptr<UnifiedFactory> ServiceFactoryImpl::existingFactory() {
    zam::ScopedLock lock(factoryMutex_);
    return unifiedFactory_;
}

std::shared_ptr<UnifiedFactory> ServiceFactoryImpl::getUnifiedFactory() {
    initializeServiceFactory();
    return existingFactory();
}

void ServiceFactoryImpl::pumpAllDispatcherTasks() {
    getUnifiedFactory()->getServicesDispatcher()->pumpAll();
}

void ServiceFactoryImpl::pumpNextDispatcherTask() {
    getUnifiedFactory()->getServicesDispatcher()->pumpNext();
}

void ServiceFactoryImpl::waitForDispatcherTask() {
    getUnifiedFactory()->getServicesDispatcher()->waitForDispatcherTask();
}

void ServiceFactoryImpl::waitForDispatcherTask(long milliseconds) {
    getUnifiedFactory()->getServicesDispatcher()->waitForDispatcherTask(milliseconds);
}

void ServiceFactoryImpl::resetDispatcherThread() {
    getUnifiedFactory()->getServicesDispatcher()->resetDispatcherThread();
}

void ServiceFactoryImpl::setDispatcherCallback(
    std::shared_ptr<ServicesDispatcherCallback> callback) {
    getUnifiedFactory()->getServicesDispatcher()->setDispatcherCallback(std::move(callback));
}

void ServiceFactoryImpl::reset() {
    if (std::shared_ptr<UnifiedFactory> factory = existingFactory()) {
        factory->Reset();
        factory->Init();
    }
}

std::shared_ptr<UnifiedService> ServiceFactoryImpl::getService(unsigned int id) {
    return getUnifiedFactory()->getService(id);
}

std::shared_ptr<UnifiedService> ServiceFactoryImpl::getService(const std::string& name) {
    return getUnifiedFactory()->getService(name);
}

void ServiceFactoryImpl::resetForTest() {
    // The pause lets threads that a pumped task released queue their follow-up work before the
    // queue is judged empty; this is a test helper, never used on a host's hot path.
    do {
        pumpAllDispatcherTasks();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (getUnifiedFactory()->getServicesDispatcher()->getQueueSize() > 0);
    reset();
}

}  // namespace ZAMUnified
