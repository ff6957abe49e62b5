#include <ZAMUnified/DispatcherAccessExceptionImpl.h>

namespace ZAMUnified {

DispatcherAccessExceptionImpl::DispatcherAccessExceptionImpl(const std::string& name)
    : UnifiedExceptionImpl("An illegal attempt to access " + name +
                           " was made from a non dispatcher thread"),
      name_(name) {}

DispatcherAccessExceptionImpl::~DispatcherAccessExceptionImpl() = default;

std::string DispatcherAccessExceptionImpl::getInterfaceName() {
    return DispatcherAccessException::getInterfaceName();
}

std::string DispatcherAccessExceptionImpl::getName() {
    return name_;
}

}  // namespace ZAMUnified
