#include <ZAMUnified/AccessGuard.h>

#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <ZAMUnified/ServicesDispatcher.h>

#include <utility>

namespace ZAMUnified {

AccessGuard::AccessGuard(std::shared_ptr<ServicesDispatcher> dispatcher)
    : dispatcher_(std::move(dispatcher)) {}

void AccessGuard::check(std::string name, bool enabled) {
    if (!enabled) {
        return;
    }
    if (!dispatcher_) {
        throw DispatcherAccessExceptionImpl(name);
    }
    dispatcher_->ensureUpdateAccess(std::move(name));
}

}  // namespace ZAMUnified
