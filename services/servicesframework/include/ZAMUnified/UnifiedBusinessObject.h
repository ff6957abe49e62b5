// ZAMUnified::UnifiedBusinessObject: the interface of every object a service exposes, services
// included: a process-unique GUID, observers, notifiers, and an interface name keying a reflector.
// Threading: the GUID and names never change and are read, and observers added and removed, from
// any thread; the rest, state changes included, on the dispatcher thread once it is committed.
// Failure: a guarded change off that thread throws DispatcherAccessExceptionImpl; an object
// without notifiers hands out an empty pointer.
#ifndef ZAMUNIFIED_UNIFIEDBUSINESSOBJECT_H
#define ZAMUNIFIED_UNIFIEDBUSINESSOBJECT_H

#include <memory>
#include <string>

#include <ZAMUnified/UnifiedBusinessObjectNotifiers.h>
#include <ZAMUnified/UnifiedBusinessObjectObserver.h>

namespace ZAMUnified {

class UnifiedBusinessObject {
  public:
    virtual ~UnifiedBusinessObject();
    virtual void addObserver(std::weak_ptr<UnifiedBusinessObjectObserver> observer) = 0;
    virtual void removeObserver(std::weak_ptr<UnifiedBusinessObjectObserver> observer) = 0;
    virtual std::shared_ptr<UnifiedBusinessObjectNotifiers> getUnifiedBusinessObjectNotifiers() = 0;
    virtual std::string getGuid() = 0;
    virtual std::string toString() = 0;
    // "UnifiedBusinessObject"; concrete objects answer their own interface name, under which
    // their reflector is registered.
    virtual std::string getInterfaceName();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDBUSINESSOBJECT_H
