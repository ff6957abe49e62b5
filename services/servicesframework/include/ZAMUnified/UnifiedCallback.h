// ZAMUnified::UnifiedCallback: a callback object that a client hands to a service, implemented by
// service libraries. Its interface name keys its reflector in ReflectorFactory, so that a method
// argument of kind "callback" can name it.
//
// Threading: as the implementation decides. Failure: none of its own.
#ifndef ZAMUNIFIED_UNIFIEDCALLBACK_H
#define ZAMUNIFIED_UNIFIEDCALLBACK_H

#include <string>

namespace ZAMUnified {

class UnifiedCallback {
  public:
    virtual ~UnifiedCallback();
    // The callback's type name, under which its reflector is registered.
    virtual std::string getInterfaceName() = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDCALLBACK_H
