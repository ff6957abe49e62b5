// ZAMUnified::ReflectionCallback: a callback object that a text front end obtains by name from
// ReflectionCallbackFactory, implemented by service libraries. Being a UnifiedCallback, it can be
// put into the callback map and passed as a "callback" argument.
//
// Threading: as the implementation decides. Failure: none of its own.
#ifndef ZAMUNIFIED_REFLECTIONCALLBACK_H
#define ZAMUNIFIED_REFLECTIONCALLBACK_H

#include <ZAMUnified/UnifiedCallback.h>

namespace ZAMUnified {

class ReflectionCallback : public virtual UnifiedCallback {
  public:
    ~ReflectionCallback() override;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTIONCALLBACK_H
