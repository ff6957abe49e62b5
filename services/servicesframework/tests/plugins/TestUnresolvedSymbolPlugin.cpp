// A test plug-in "TestUnresolvedSymbol" that calls a function no library defines. Under lazy
// binding it opens and injects, and serves its service; only a call that reaches the missing
// function fails, and that one ends the process in the dynamic linker.
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <memory>

extern "C" int sf_test_function_nobody_defines();

namespace ZAMUnified {

class TestUnresolvedService : public ServiceBase<TestUnresolvedService> {
  public:
    static constexpr const char* kInterfaceName = "TestUnresolvedService";
    using ServiceBase::ServiceBase;
};

}  // namespace ZAMUnified

extern "C" {

void InjectTestUnresolvedSymbol(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    factory->getServiceRegistry()->addItem(
        typeid(ZAMUnified::TestUnresolvedService).name(), 7701,
        std::make_shared<ZAMUnified::TestUnresolvedService>(factory));
}

int TestUnresolvedSymbolCallMissing() {
    return sf_test_function_nobody_defines();
}
}
