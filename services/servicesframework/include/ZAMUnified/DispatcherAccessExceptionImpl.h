// ZAMUnified::DispatcherAccessExceptionImpl: what the services dispatcher throws when an update
// is attempted from a non-dispatcher thread. Catch it as DispatcherAccessException& or
// UnifiedException&.
//
// Threading: exception objects are not shared between threads.
// Failure: thrown by value.
#ifndef ZAMUNIFIED_DISPATCHERACCESSEXCEPTIONIMPL_H
#define ZAMUNIFIED_DISPATCHERACCESSEXCEPTIONIMPL_H

#include <memory>
#include <string>

#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>

namespace ZAMUnified {

class DispatcherAccessExceptionImpl
    : public UnifiedExceptionImpl,
      public DispatcherAccessException,
      public std::enable_shared_from_this<DispatcherAccessExceptionImpl> {
  public:
    // The message becomes "An illegal attempt to access <name> was made from a non dispatcher
    // thread".
    explicit DispatcherAccessExceptionImpl(const std::string& name);
    DispatcherAccessExceptionImpl(const DispatcherAccessExceptionImpl&) = default;
    DispatcherAccessExceptionImpl(DispatcherAccessExceptionImpl&&) = default;
    ~DispatcherAccessExceptionImpl() override;

    std::string getInterfaceName() override;
    std::string getName() override;

  private:
    std::string name_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_DISPATCHERACCESSEXCEPTIONIMPL_H
