// A test plug-in "TestThrowingOther" whose injection entry throws something that is not a
// std::exception, as code built against another exception hierarchy may.
#include <ZAMUnified/UnifiedFactory.h>

#include <memory>

extern "C" void InjectTestThrowingOther(std::shared_ptr<ZAMUnified::UnifiedFactory>) {
    throw 42;
}
