// ZAMUnified::DispatcherAccessException: thrown when a state update is attempted from a thread
// other than the dispatcher thread.
//
// Threading: exception objects are not shared between threads.
// Failure: this is the failure channel for refused updates.
#ifndef ZAMUNIFIED_DISPATCHERACCESSEXCEPTION_H
#define ZAMUNIFIED_DISPATCHERACCESSEXCEPTION_H

#include <string>

#include <ZAMUnified/UnifiedException.h>

namespace ZAMUnified {

class DispatcherAccessException : public virtual UnifiedException {
  public:
    // "DispatcherAccessException".
    std::string getInterfaceName() override;
    // The name of the thing whose access was refused.
    virtual std::string getName() = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_DISPATCHERACCESSEXCEPTION_H
