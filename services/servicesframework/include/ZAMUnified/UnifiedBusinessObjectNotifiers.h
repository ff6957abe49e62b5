// ZAMUnified::UnifiedBusinessObjectNotifiers and UnifiedBusinessObjectNotifiersImpl: the notifier
// types of concrete business objects. Their content belongs to the objects; the framework only
// holds the implementation and hands it out as the interface.
//
// Threading: as the concrete object defines.
// Failure: nothing here fails.
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
