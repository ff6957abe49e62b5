#include <ZAMUnified/UnifiedCallback.h>

namespace ZAMUnified {

UnifiedCallback::~UnifiedCallback() = default;

}  // namespace ZAMUnified
