// ZAMUnified::ServiceFactoryWrapper: the holder of the process-wide service factory; created once
// by ServiceFactory::getInstance() and never deleted, so the factory outlives every caller.
// Threading: getInstance() from any thread. Failure: nothing here fails.
#ifndef ZAMUNIFIED_SERVICEFACTORYWRAPPER_H
#define ZAMUNIFIED_SERVICEFACTORYWRAPPER_H

#include <memory>

#include <ZAMUnified/ServiceFactory.h>

namespace ZAMUnified {

class ServiceFactoryWrapper {
  public:
    // Makes a new ServiceFactoryImpl.
    ServiceFactoryWrapper();
    std::shared_ptr<ServiceFactory> getInstance();

  private:
    std::shared_ptr<ServiceFactory> instance_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEFACTORYWRAPPER_H
