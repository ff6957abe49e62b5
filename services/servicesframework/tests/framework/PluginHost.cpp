// A host as hosts are written: it links nothing of the framework, opens libservicesframework.so,
// resolves GetFactory and drives a service library through the service factory alone. The
// library stands behind the built-in record "ConfigService": the resources directory is pointed
// at a scratch folder whose ../lib holds it (beside a manifest nobody reads). Exits 0 when every
// check holds.
#include <ZAMUnified/GetFactory.h>
#include <ZAMUnified/ServiceFactory.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "../support/PluginFolder.h"

namespace {

int failures = 0;

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "plugin host: FAILED: %s\n", what);
        ++failures;
    }
}

}  // namespace

int main() {
    const sftest::PluginFolder root;
    if (root.root().empty()) {
        return 2;
    }
    root.add("lib", "", SF_STANDIN_PLUGIN, "ConfigService");
    std::filesystem::create_directories(root.root() / "resources");
    setenv("ZAM_RESOURCES_DIR", (root.root() / "resources").c_str(), 1);

    void* framework = dlopen(SF_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (framework == nullptr) {
        std::fprintf(stderr, "plugin host: %s\n", dlerror());
        return 2;
    }
    auto getFactory = reinterpret_cast<GetFactoryFunction>(dlsym(framework, "GetFactory"));
    check(getFactory != nullptr, "GetFactory is exported under its plain name");
    if (getFactory == nullptr) {
        return 1;
    }
    const wchar_t* name = nullptr;
    ZAMUnified::ServiceFactory* factory = nullptr;
    getFactory(&name, &factory);
    check(name != nullptr && std::wstring(name) == L"VelmarServiceFactory", "factory name");
    check(factory != nullptr, "factory pointer");

    // On this thread, the dispatcher thread: the service loads at once.
    auto service = factory->getService(1300u);
    check(service != nullptr, "the service by id");
    check(service && service->getInterfaceName() == "ConfigService", "its interface name");
    check(factory->getService("N10ZAMUnified13ConfigServiceE") == service, "the service by name");

    // How often a library is injected, a reset and the next injection, and requests from other
    // threads are the loader tests' concern (LibraryLoaderTest.LoadsOnDemandOnTheDispatcherThread-
    // OncePerInit and others).
    service.reset();
    factory->reset();  // leaves nothing registered that would hold the factory

    std::printf("plugin host: %s\n", failures == 0 ? "all checks passed" : "checks failed");
    return failures == 0 ? 0 : 1;
}
