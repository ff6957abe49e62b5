// A stand-in for the built-in record "ConfigService" (entry InjectConfigService), so that a host
// test can drive a built-in record end to end: the host points the resources directory at a
// folder whose ../lib holds this library as libConfigService.so.
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <memory>

namespace ZAMUnified {

class ConfigService : public ServiceBase<ConfigService> {
  public:
    static constexpr const char* kInterfaceName = "ConfigService";
    using ServiceBase::ServiceBase;
};

}  // namespace ZAMUnified

extern "C" void InjectConfigService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    factory->getServiceRegistry()->addItem(typeid(ZAMUnified::ConfigService).name(), 1300,
                                           std::make_shared<ZAMUnified::ConfigService>(factory));
}
