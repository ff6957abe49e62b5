// A test plug-in "TestThrowingInject" whose injection entry throws.
#include <ZAMUnified/UnifiedFactory.h>

#include <memory>
#include <stdexcept>

extern "C" void InjectTestThrowingInject(std::shared_ptr<ZAMUnified::UnifiedFactory>) {
    throw std::runtime_error("no licence for this host");
}
