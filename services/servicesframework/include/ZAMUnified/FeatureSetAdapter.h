// ZAMUnified::FeatureSetAdapter: the control interface of a feature set, which the factory starts,
// stops, queries and destroys by provider id. Feature-set objects derive from it and FeatureSet.
//
// Threading: the factory calls it on the thread that calls the factory's operation of the same
// name; Destroy() comes from UnifiedFactory::Reset().
// Failure: whatever the implementation does; the factory refuses requests that are not provisioned.
#ifndef ZAMUNIFIED_FEATURESETADAPTER_H
#define ZAMUNIFIED_FEATURESETADAPTER_H

#include <memory>
#include <vector>

#include <ZAMUnified/ServiceEvent.h>

namespace ZAMUnified {

class FeatureSetAdapter {
  public:
    typedef std::shared_ptr<std::vector<std::shared_ptr<ServiceEvent>>> EventsPtr;

    // The events list belongs to the caller and is handed on unchanged.
    virtual void StartFeatureSet(unsigned int id, EventsPtr events) = 0;
    virtual void StopFeatureSet(unsigned int id, EventsPtr events) = 0;
    // Called once per object when the factory is reset.
    virtual void Destroy() = 0;
    virtual bool IsFeatureSetStarted(unsigned int id) = 0;
    virtual bool IsFeatureSetProvisioned(unsigned int id) = 0;
    virtual std::vector<unsigned int> GetFeatureSetDependencies(unsigned int id) = 0;
    // Virtual, so that an object owned through this interface is destroyed whole.
    virtual ~FeatureSetAdapter();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FEATURESETADAPTER_H
