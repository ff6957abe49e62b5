#include "framework/detail/EnvironmentConsole.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "common/detail/ModuleLoggers.h"

namespace ZAMUnified {
namespace detail {

namespace {

const char* const kSourcePath =
    "services/servicesframework/src/framework/detail/EnvironmentConsole";

// The folder this library was loaded from, with its trailing '/'.
std::string ownFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&startEnvironmentConsole), &info) == 0 ||
        info.dli_fname == nullptr) {
        return "";
    }
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

void startEnvironmentConsole(ServiceFactory& factory) {
    const char* endpoint = std::getenv("SF_CONSOLE");
    if (endpoint == nullptr || endpoint[0] == '\0') {
        return;
    }
    static std::atomic<bool> started{false};
    if (started.exchange(true)) {
        return;
    }
    const std::string library = ownFolder() + SF_CONSOLE_LIBRARY;
    // Never closed: the console's threads run until the process ends.
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        SF_LOG(unifiedFactoryLogger, ZAMLOG_LEVEL_WARNING, kSourcePath, "startEnvironmentConsole",
               "SF_CONSOLE is set, but the console library "
                   << library << " cannot be loaded: " << (error ? error : "unknown error"));
        return;
    }
    using Start = int (*)(ServiceFactory*, const char*);
    auto start = reinterpret_cast<Start>(dlsym(handle, "ServicesConsole_startFromEnvironment"));
    if (start == nullptr) {
        SF_LOG(unifiedFactoryLogger, ZAMLOG_LEVEL_WARNING, kSourcePath, "startEnvironmentConsole",
               "SF_CONSOLE is set, but " << library << " is not a console library");
        return;
    }
    start(&factory, endpoint);
}

}  // namespace detail
}  // namespace ZAMUnified
