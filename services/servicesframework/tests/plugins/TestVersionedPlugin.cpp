// A test plug-in built once per framework interface version it claims: TEST_LIBRARY names it,
// and TEST_BUILT_AGAINST_MAJOR and _MINOR, when given, are the version it records, as a library
// built against another framework would; without them it records the current one through the
// helpers, as every library written with them does. Each registers one service, under the id
// TEST_SERVICE_ID, which a refused library never reaches.
#include <ZAMUnified/ServiceLibrary.h>

#include <memory>

namespace versioned {

class VersionedService : public ZAMUnified::ServiceBase<VersionedService> {
  public:
    static constexpr const char* kInterfaceName = "VersionedService";
    using ServiceBase::ServiceBase;
};

}  // namespace versioned

#define TEST_PASTE(a, b) a##b
#define TEST_NAMED(prefix, name) TEST_PASTE(prefix, name)

#ifdef TEST_BUILT_AGAINST_MAJOR
extern "C" __attribute__((visibility("default")))
const ZAMUnified::FrameworkInterfaceVersion TEST_NAMED(ZAMUnifiedFrameworkVersion_,
                                                       TEST_LIBRARY) = {TEST_BUILT_AGAINST_MAJOR,
                                                                        TEST_BUILT_AGAINST_MINOR};

extern "C" void TEST_NAMED(Inject,
                           TEST_LIBRARY)(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    ZAMUnified::ServiceLibrary(std::move(factory))
        .service<versioned::VersionedService>(TEST_SERVICE_ID);
}
#else
ZAMUNIFIED_SERVICE_LIBRARY(TEST_LIBRARY, library) {
    library.service<versioned::VersionedService>(TEST_SERVICE_ID);
}
#endif
