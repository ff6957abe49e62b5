// ZAMUnified::FeatureSetBase: a feature set whose operations do nothing but keep and report its
// state, so that a trivial feature set is a class declaration and one registration line
// (ServiceLibrary::featureSet). Start and stop mark a provisioned id started or stopped, Destroy()
// stops every id, and there are no dependencies. A feature set with work to do overrides the
// operations it needs and calls the base's to keep the state.
// Threading: the factory may ask from any thread; the state has its own lock.
// Failure: start and stop of an id that is not provisioned change nothing.
#ifndef ZAMUNIFIED_FEATURESETBASE_H
#define ZAMUNIFIED_FEATURESETBASE_H

#include <set>
#include <vector>

#include <ZAMUnified/FeatureSet.h>
#include <ZAMUnified/FeatureSetAdapter.h>
#include <zam/Mutex.h>

namespace ZAMUnified {

class FeatureSetBase : public FeatureSet, public FeatureSetAdapter {
  public:
    // Provisioned for `ids`, and for every id it is registered under through ServiceLibrary.
    explicit FeatureSetBase(std::vector<unsigned int> ids = {});
    ~FeatureSetBase() override;

    void provision(unsigned int id);

    void StartFeatureSet(unsigned int id, EventsPtr events) override;
    void StopFeatureSet(unsigned int id, EventsPtr events) override;
    void Destroy() override;
    bool IsFeatureSetStarted(unsigned int id) override;
    bool IsFeatureSetProvisioned(unsigned int id) override;
    std::vector<unsigned int> GetFeatureSetDependencies(unsigned int id) override;

  private:
    zam::Mutex mutex_;  // guards both sets
    std::set<unsigned int> provisioned_;
    std::set<unsigned int> started_;  // always provisioned ids
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FEATURESETBASE_H
