#include <ZAMUnified/ServiceFactory.h>

#include <ZAMUnified/ServiceFactoryWrapper.h>

namespace ZAMUnified {

ServiceFactory::~ServiceFactory() = default;

std::shared_ptr<ServiceFactory> ServiceFactory::getInstance() {
    // Never deleted: hosts hold raw pointers from GetFactory until the process ends.
    static ServiceFactoryWrapper* const wrapper = new ServiceFactoryWrapper();
    return wrapper->getInstance();
}

}  // namespace ZAMUnified
