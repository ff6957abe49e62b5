#include <ZAMUnified/ServiceEvent.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
ServiceEvent::~ServiceEvent() = default;

}  // namespace ZAMUnified
