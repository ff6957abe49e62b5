// A test plug-in "TestWrongName" that registers its service under a name and an id other than
// the ones its record lists (ZAMUnified::TestRightService, 7601), as a renamed class would.
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <memory>

namespace ZAMUnified {

class TestWrongService : public ServiceBase<TestWrongService> {
  public:
    static constexpr const char* kInterfaceName = "TestWrongService";
    using ServiceBase::ServiceBase;
};

}  // namespace ZAMUnified

extern "C" void InjectTestWrongName(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    factory->getServiceRegistry()->addItem(typeid(ZAMUnified::TestWrongService).name(), 7602,
                                           std::make_shared<ZAMUnified::TestWrongService>(factory));
}
