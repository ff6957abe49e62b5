#include <ZAMUnified/ServicesDispatcherCallback.h>

namespace ZAMUnified {

ServicesDispatcherCallback::~ServicesDispatcherCallback() = default;

}  // namespace ZAMUnified
