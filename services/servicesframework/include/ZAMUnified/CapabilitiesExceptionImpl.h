// ZAMUnified::CapabilitiesExceptionImpl: what a service throws when an operation needs a
// capability it lacks. Catch it as CapabilitiesException& or UnifiedException&.
//
// Threading: exception objects are not shared between threads.
// Failure: thrown by value.
#ifndef ZAMUNIFIED_CAPABILITIESEXCEPTIONIMPL_H
#define ZAMUNIFIED_CAPABILITIESEXCEPTIONIMPL_H

#include <memory>
#include <string>

#include <ZAMUnified/CapabilitiesException.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>

namespace ZAMUnified {

class CapabilitiesExceptionImpl : public UnifiedExceptionImpl,
                                  public CapabilitiesException,
                                  public std::enable_shared_from_this<CapabilitiesExceptionImpl> {
  public:
    // The message becomes "Requested operation requires the <capability> capability".
    explicit CapabilitiesExceptionImpl(const std::string& capability);
    CapabilitiesExceptionImpl(const CapabilitiesExceptionImpl&) = default;
    CapabilitiesExceptionImpl(CapabilitiesExceptionImpl&&) = default;
    ~CapabilitiesExceptionImpl() override;

    std::string getInterfaceName() override;
    std::string getCapability() override;

  private:
    std::string capability_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_CAPABILITIESEXCEPTIONIMPL_H
