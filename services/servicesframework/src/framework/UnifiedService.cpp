#include <ZAMUnified/UnifiedService.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
UnifiedService::~UnifiedService() = default;

}  // namespace ZAMUnified
