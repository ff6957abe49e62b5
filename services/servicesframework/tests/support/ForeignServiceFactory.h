// A ServiceFactory that is not the framework's own, as a host could write one: every operation
// does nothing, and there is no unified factory behind it.
#ifndef SERVICESFRAMEWORK_TESTS_FOREIGNSERVICEFACTORY_H
#define SERVICESFRAMEWORK_TESTS_FOREIGNSERVICEFACTORY_H

#include <ZAMUnified/ServiceFactory.h>

#include <memory>
#include <string>

namespace sftest {

struct ForeignServiceFactory : ZAMUnified::ServiceFactory {
    void pumpAllDispatcherTasks() override {}
    void pumpNextDispatcherTask() override {}
    void waitForDispatcherTask() override {}
    void waitForDispatcherTask(long) override {}
    void resetDispatcherThread() override {}
    void setDispatcherCallback(std::shared_ptr<ZAMUnified::ServicesDispatcherCallback>) override {}
    void reset() override {}
    std::shared_ptr<ZAMUnified::UnifiedService> getService(unsigned int) override {
        return nullptr;
    }
    std::shared_ptr<ZAMUnified::UnifiedService> getService(const std::string&) override {
        return nullptr;
    }
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_FOREIGNSERVICEFACTORY_H
