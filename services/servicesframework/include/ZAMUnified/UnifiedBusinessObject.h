// ZAMUnified::UnifiedBusinessObject: the interface of every object a service exposes to its
// clients, services included: a process-unique GUID, observers told when the object's information
// changes, the object's notifiers, and the interface name that keys its reflector.
//
// Threading: as the implementation says; see UnifiedBusinessObjectImpl.
// Failure: state changes off the dispatcher thread throw DispatcherAccessExceptionImpl.
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
