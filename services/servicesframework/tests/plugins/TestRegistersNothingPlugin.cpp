// A test plug-in "TestRegistersNothing" whose injection entry runs and registers nothing, as a
// library built for a different record would; it counts its injections.
#include <ZAMUnified/UnifiedFactory.h>

#include <atomic>
#include <memory>

namespace {

std::atomic<int> injections{0};

}  // namespace

extern "C" {

void InjectTestRegistersNothing(std::shared_ptr<ZAMUnified::UnifiedFactory>) {
    ++injections;
}

int TestRegistersNothingInjections() {
    return injections;
}
}
