// A test plug-in "TestWrongName" that registers its service under a name and an id other than
// the ones its record lists (ZAMUnified::TestRightService, 7601), as a renamed class would.
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <memory>

namespace ZAMUnified {

class TestWrongService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit TestWrongService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "TestWrongService") {}
    std::string getInterfaceName() override { return "TestWrongService"; }
    void initNotifiers() override {}
};

}  // namespace ZAMUnified

extern "C" void InjectTestWrongName(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    factory->getServiceRegistry()->addItem(typeid(ZAMUnified::TestWrongService).name(), 7602,
                                           std::make_shared<ZAMUnified::TestWrongService>(factory));
}
