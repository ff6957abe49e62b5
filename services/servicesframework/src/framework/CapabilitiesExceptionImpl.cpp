#include <ZAMUnified/CapabilitiesExceptionImpl.h>

namespace ZAMUnified {

CapabilitiesExceptionImpl::CapabilitiesExceptionImpl(const std::string& capability)
    : UnifiedExceptionImpl("Requested operation requires the " + capability + " capability"),
      capability_(capability) {}

CapabilitiesExceptionImpl::~CapabilitiesExceptionImpl() = default;

std::string CapabilitiesExceptionImpl::getInterfaceName() {
    return CapabilitiesException::getInterfaceName();
}

std::string CapabilitiesExceptionImpl::getCapability() {
    return capability_;
}

}  // namespace ZAMUnified
