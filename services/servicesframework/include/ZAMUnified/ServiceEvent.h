// ZAMUnified::ServiceEvent: an event of a feature-set start or stop. The framework passes the
// caller's list to the feature set unchanged and never reads it.
//
// Threading: whatever the implementation states; the framework only copies the shared pointer.
// Failure: nothing here fails.
#ifndef ZAMUNIFIED_SERVICEEVENT_H
#define ZAMUNIFIED_SERVICEEVENT_H

namespace ZAMUnified {

class ServiceEvent {
  public:
    virtual ~ServiceEvent();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEEVENT_H
