#include <ZAMUnified/ServiceFactory.h>

#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/ServiceFactoryWrapper.h>
#include <ZAMUnified/UnifiedFactory.h>

namespace ZAMUnified {

ServiceFactory::~ServiceFactory() = default;

std::shared_ptr<ServiceFactory> ServiceFactory::getInstance() {
    // Never deleted: hosts hold raw pointers from GetFactory until the process ends.
    static ServiceFactoryWrapper* const wrapper = new ServiceFactoryWrapper();
    return wrapper->getInstance();
}

std::shared_ptr<UnifiedFactory> ServiceFactory::getUnifiedFactory() {
    // Hosts hold the interface; the framework's own implementation is the one with a factory.
    auto* implementation = dynamic_cast<ServiceFactoryImpl*>(this);
    return implementation ? implementation->getUnifiedFactory() : nullptr;
}

std::shared_ptr<LibraryLoader> ServiceFactory::getLibraryLoader() {
    const std::shared_ptr<UnifiedFactory> factory = getUnifiedFactory();
    return factory ? factory->getLibraryLoader() : nullptr;
}

bool ServiceFactory::addLibraryManifest(const std::string& directory) {
    const std::shared_ptr<LibraryLoader> loader = getLibraryLoader();
    if (!loader) {
        return false;
    }
    const std::size_t before = loader->getLibraryRecords().size();
    loader->LoadLibraryManifest(directory);
    return loader->getLibraryRecords().size() > before;
}

}  // namespace ZAMUnified
