#include <ZAMUnified/CapabilitiesException.h>

namespace ZAMUnified {

std::string CapabilitiesException::getInterfaceName() {
    return "CapabilitiesException";
}

}  // namespace ZAMUnified
