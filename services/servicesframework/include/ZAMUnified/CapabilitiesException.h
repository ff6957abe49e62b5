// ZAMUnified::CapabilitiesException: thrown by services when an operation needs a capability
// that is missing. The framework itself never throws it.
//
// Threading: exception objects are not shared between threads.
// Failure: this is the failure channel for missing capabilities.
#ifndef ZAMUNIFIED_CAPABILITIESEXCEPTION_H
#define ZAMUNIFIED_CAPABILITIESEXCEPTION_H

#include <string>

#include <ZAMUnified/UnifiedException.h>

namespace ZAMUnified {

class CapabilitiesException : public virtual UnifiedException {
  public:
    // "CapabilitiesException".
    std::string getInterfaceName() override;
    // The missing capability.
    virtual std::string getCapability() = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_CAPABILITIESEXCEPTION_H
