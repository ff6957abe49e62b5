#include <ZAMUnified/UnifiedExceptionImpl.h>

namespace ZAMUnified {

UnifiedExceptionImpl::UnifiedExceptionImpl() = default;

UnifiedExceptionImpl::UnifiedExceptionImpl(const std::string& message) : message_(message) {}

UnifiedExceptionImpl::~UnifiedExceptionImpl() = default;

std::string UnifiedExceptionImpl::getMessage() {
    return message_;
}

}  // namespace ZAMUnified
