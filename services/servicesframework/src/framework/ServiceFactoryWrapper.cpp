#include <ZAMUnified/ServiceFactoryWrapper.h>

#include <ZAMUnified/ServiceFactoryImpl.h>

namespace ZAMUnified {

ServiceFactoryWrapper::ServiceFactoryWrapper()
    : instance_(std::make_shared<ServiceFactoryImpl>()) {}

std::shared_ptr<ServiceFactory> ServiceFactoryWrapper::getInstance() {
    return instance_;
}

}  // namespace ZAMUnified
