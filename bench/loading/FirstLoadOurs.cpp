// One FirstLoad run of ours, as a fresh process: a host makes the bench plug-in known through its
// manifest, asks the service factory for the plug-in's service by id (which opens the library
// and runs its injection entry) and checks what it got. Exits 0 on success.
//
//   firstload_ours <manifest directory>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: firstload_ours <manifest directory>\n");
        return 2;
    }
    const std::shared_ptr<ZAMUnified::ServiceFactory> factory =
        ZAMUnified::ServiceFactory::getInstance();
    auto* implementation = dynamic_cast<ZAMUnified::ServiceFactoryImpl*>(factory.get());
    const auto loader =
        implementation ? implementation->getUnifiedFactory()->getLibraryLoader() : nullptr;
    if (!loader) {
        std::fprintf(stderr, "firstload_ours: the factory has no library loader\n");
        return 1;
    }
    loader->LoadLibraryManifest(argv[1]);
    // This thread made the factory, so it is the dispatcher thread and the load runs at once.
    const auto service = factory->getService(9100u);
    if (!service || service->getInterfaceName() != "BenchProbeService") {
        std::fprintf(stderr, "firstload_ours: the bench plug-in's service was not found\n");
        return 1;
    }
    return 0;
}
