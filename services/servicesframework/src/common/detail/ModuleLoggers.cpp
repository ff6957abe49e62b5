#include "common/detail/ModuleLoggers.h"

namespace ZAMUnified {
namespace detail {

// Initialised while the library is loaded, so that a logger exists before any framework code can
// run and each module asks for its logger exactly once.
ZAMLogger* const taskDispatcherLogger = ZAMLogger_getLogger("TaskDispatcher");
ZAMLogger* const libraryLoaderLogger = ZAMLogger_getLogger("library-loader");
ZAMLogger* const servicesDispatcherLogger = ZAMLogger_getLogger("services-dispatcher");
ZAMLogger* const unifiedFactoryLogger = ZAMLogger_getLogger("unified-factory");

}  // namespace detail
}  // namespace ZAMUnified
