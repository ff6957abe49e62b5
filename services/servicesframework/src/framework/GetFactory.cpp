#include <ZAMUnified/GetFactory.h>

#include <memory>

namespace {

const wchar_t* const kFactoryName = L"VelmarServiceFactory";

}  // namespace

extern "C" void GetFactory(const wchar_t** name, ZAMUnified::ServiceFactory** factory) {
    std::shared_ptr<ZAMUnified::ServiceFactory> instance =
        ZAMUnified::ServiceFactory::getInstance();
    if (name != nullptr) {
        *name = kFactoryName;
    }
    if (factory != nullptr) {
        *factory = instance.get();
    }
}
