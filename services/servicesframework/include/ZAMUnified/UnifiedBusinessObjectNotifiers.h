// ZAMUnified::UnifiedBusinessObjectNotifiers and UnifiedBusinessObjectNotifiersImpl: the notifier
// types of concrete business objects. Their content belongs to the objects; the framework only
// holds the implementation and hands it out as the interface.
// Threading: no lock: each request for an object's notifiers fills them (initNotifiers()) on the
// calling thread, which must be the dispatcher thread once the object is committed to it.
// Failure: nothing here fails; an object without notifiers hands out an empty pointer.
#ifndef ZAMUNIFIED_UNIFIEDBUSINESSOBJECTNOTIFIERS_H
#define ZAMUNIFIED_UNIFIEDBUSINESSOBJECTNOTIFIERS_H

namespace ZAMUnified {

class UnifiedBusinessObjectNotifiers {
  public:
    virtual ~UnifiedBusinessObjectNotifiers();
};

class UnifiedBusinessObjectNotifiersImpl : public virtual UnifiedBusinessObjectNotifiers {
  public:
    ~UnifiedBusinessObjectNotifiersImpl() override;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDBUSINESSOBJECTNOTIFIERS_H
