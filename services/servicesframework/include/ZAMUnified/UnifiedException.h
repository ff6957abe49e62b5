// ZAMUnified::UnifiedException: the root of the framework's exception interfaces. The framework
// throws implementation objects (the *Impl classes) by value; callers catch by reference to an
// interface and query it. The hierarchy is not derived from std::exception.
//
// Threading: exception objects are not shared between threads.
// Failure: this is the failure channel for refused operations.
#ifndef ZAMUNIFIED_UNIFIEDEXCEPTION_H
#define ZAMUNIFIED_UNIFIEDEXCEPTION_H

#include <string>

namespace ZAMUnified {

class UnifiedException {
  public:
    virtual std::string getMessage() = 0;
    // "UnifiedException"; each kind answers its own name.
    virtual std::string getInterfaceName();
    // Virtual so that an exception object owned through an interface pointer is destroyed whole.
    virtual ~UnifiedException();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDEXCEPTION_H
