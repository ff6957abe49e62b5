#include <ZAMUnified/Authenticator.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
Authenticator::~Authenticator() = default;

}  // namespace ZAMUnified
