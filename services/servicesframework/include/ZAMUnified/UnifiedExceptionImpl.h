// ZAMUnified::UnifiedExceptionImpl: a throwable UnifiedException carrying a message, and the base
// of the other implementation classes.
//
// Threading: exception objects are not shared between threads.
// Failure: thrown by value, caught as UnifiedException&.
#ifndef ZAMUNIFIED_UNIFIEDEXCEPTIONIMPL_H
#define ZAMUNIFIED_UNIFIEDEXCEPTIONIMPL_H

#include <string>

#include <ZAMUnified/UnifiedException.h>

namespace ZAMUnified {

class UnifiedExceptionImpl : public virtual UnifiedException {
  public:
    UnifiedExceptionImpl();
    explicit UnifiedExceptionImpl(const std::string& message);
    UnifiedExceptionImpl(const UnifiedExceptionImpl&) = default;
    UnifiedExceptionImpl(UnifiedExceptionImpl&&) = default;
    UnifiedExceptionImpl& operator=(const UnifiedExceptionImpl&) = default;
    UnifiedExceptionImpl& operator=(UnifiedExceptionImpl&&) = default;
    ~UnifiedExceptionImpl() override;

    std::string getMessage() override;

  private:
    std::string message_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDEXCEPTIONIMPL_H
