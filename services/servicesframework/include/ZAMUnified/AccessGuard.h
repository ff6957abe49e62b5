// ZAMUnified::AccessGuard: lets a service keep the services dispatcher and check update access in
// one call, optionally switched off.
//
// Threading: any thread; the check itself is about the calling thread.
// Failure: check() throws DispatcherAccessExceptionImpl off the dispatcher thread.
#ifndef ZAMUNIFIED_ACCESSGUARD_H
#define ZAMUNIFIED_ACCESSGUARD_H

#include <memory>
#include <string>

namespace ZAMUnified {

class ServicesDispatcher;

class AccessGuard {
  public:
    explicit AccessGuard(std::shared_ptr<ServicesDispatcher> dispatcher);

    // When enabled, the dispatcher's ensureUpdateAccess(name); otherwise nothing. A guard without
    // a dispatcher cannot tell the dispatcher thread, so when enabled it refuses every thread.
    void check(std::string name, bool enabled);

  private:
    std::shared_ptr<ServicesDispatcher> dispatcher_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_ACCESSGUARD_H
