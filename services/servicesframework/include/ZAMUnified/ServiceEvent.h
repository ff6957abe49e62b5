// ZAMUnified::ServiceEvent: an event of a feature-set start or stop. The framework passes the
// caller's list to the feature set unchanged and never reads it.
// Threading: the list reaches the feature set's StartFeatureSet or StopFeatureSet on the thread
// that called the factory's operation of the same name, with no framework lock held.
// Failure: nothing here fails; when the factory refuses the start or stop (the id not provisioned,
// or a stop of a set not started) it logs an error and the list goes nowhere.
#ifndef ZAMUNIFIED_SERVICEEVENT_H
#define ZAMUNIFIED_SERVICEEVENT_H

namespace ZAMUnified {

class ServiceEvent {
  public:
    virtual ~ServiceEvent();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEEVENT_H
