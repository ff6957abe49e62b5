// ZAMUnified::UnifiedBusinessObjectObserver: implemented by clients that want to hear when a
// business object's information changes. Objects hold their observers by weak pointer, so an
// observer ends its registrations simply by going away.
//
// Threading: OnInfoChanged() runs on the thread that fires the change, normally the dispatcher
// thread, with no lock of the object held.
// Failure: what OnInfoChanged() throws passes to the code that fired the change.
#ifndef ZAMUNIFIED_UNIFIEDBUSINESSOBJECTOBSERVER_H
#define ZAMUNIFIED_UNIFIEDBUSINESSOBJECTOBSERVER_H

namespace ZAMUnified {

class UnifiedBusinessObjectObserver {
  public:
    virtual ~UnifiedBusinessObjectObserver();
    virtual void OnInfoChanged() = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDBUSINESSOBJECTOBSERVER_H
