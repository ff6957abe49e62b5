// A service library built only against the installed framework: its injection entry registers one
// service under the mangled type name and the id that its manifest lists.
#include <ServicesFramework.h>

#include <memory>
#include <string>

namespace ZAMUnified {

class InstalledService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit InstalledService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "InstalledService") {}
    std::string getInterfaceName() override { return "InstalledService"; }
    void initNotifiers() override {}
};

}  // namespace ZAMUnified

extern "C" void InjectInstalledPlugin(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    factory->getServiceRegistry()->addItem(typeid(ZAMUnified::InstalledService).name(), 9900,
                                           std::make_shared<ZAMUnified::InstalledService>(factory));
}
