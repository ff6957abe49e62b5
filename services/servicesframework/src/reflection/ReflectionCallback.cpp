#include <ZAMUnified/ReflectionCallback.h>

namespace ZAMUnified {

ReflectionCallback::~ReflectionCallback() = default;

}  // namespace ZAMUnified
