// ZAMUnified::ServiceFactoryImpl: the service factory; creates the unified factory on first use
// (the calling thread becomes the dispatcher thread) and forwards to it or to its dispatcher.
// Threading: as ServiceFactory; the first use may come from several threads at once.
// Failure: as ServiceFactory.
#ifndef ZAMUNIFIED_SERVICEFACTORYIMPL_H
#define ZAMUNIFIED_SERVICEFACTORYIMPL_H

#include <memory>
#include <string>

#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <zam/Mutex.h>

namespace ZAMUnified {

class ServiceFactoryImpl : public ServiceFactory {
  public:
    ServiceFactoryImpl();
    ~ServiceFactoryImpl() override;

    void pumpAllDispatcherTasks() override;
    void pumpNextDispatcherTask() override;
    void waitForDispatcherTask() override;
    void waitForDispatcherTask(long milliseconds) override;
    void resetDispatcherThread() override;
    void setDispatcherCallback(std::shared_ptr<ServicesDispatcherCallback> callback) override;
    void reset() override;
    std::shared_ptr<UnifiedService> getService(unsigned int id) override;
    std::shared_ptr<UnifiedService> getService(const std::string& name) override;

    // Creates and initialises the unified factory once; concurrent first calls create one.
    void initializeServiceFactory();
    // For tests, on the dispatcher thread: pumps until the queue stays empty, then reset().
    void resetForTest();
    // Creates the unified factory if needed.
    std::shared_ptr<UnifiedFactory> getUnifiedFactory();

  private:
    // The unified factory, or empty before first use.
    std::shared_ptr<UnifiedFactory> existingFactory();

    std::shared_ptr<UnifiedFactory> unifiedFactory_;
    mutable zam::Mutex factoryMutex_;  // guards unifiedFactory_
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEFACTORYIMPL_H
