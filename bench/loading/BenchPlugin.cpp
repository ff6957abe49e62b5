// The small service library that FirstLoad loads: one service, registered by its injection entry
// as any service library registers, and one plain C function for the bare loader to call.
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <memory>
#include <string>
#include <typeinfo>

namespace ZAMUnified {

class BenchProbeService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    static constexpr unsigned int kId = 9100;

    explicit BenchProbeService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "BenchProbeService") {}
    std::string getInterfaceName() override { return "BenchProbeService"; }
    void initNotifiers() override {}
};

}  // namespace ZAMUnified

extern "C" {

// Runs on the dispatcher thread when the framework loads the library for the service's id.
void InjectBenchPlugin(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    using ZAMUnified::BenchProbeService;
    factory->getServiceRegistry()->addItem(typeid(BenchProbeService).name(), BenchProbeService::kId,
                                           std::make_shared<BenchProbeService>(factory));
}

// What the bare loader resolves and calls: proof that the library is usable, nothing more.
int BenchPluginAnswer() {
    return 42;
}
}
