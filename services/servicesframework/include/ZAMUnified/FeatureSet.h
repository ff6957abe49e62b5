// ZAMUnified::FeatureSet: the interface under which a service library registers a feature set.
// The framework calls nothing on it; it reaches the object's FeatureSetAdapter by a cross cast.
// Threading: registered and looked up from any thread (the registry locks only inside its own
// calls); Reset(), on the host's thread, calls each adapter's Destroy() once, then lets go.
// Failure: nothing here fails; an object that is not also a FeatureSetAdapter gets no Destroy()
// call, and getFeatureSetAdapter answers an empty pointer for its id.
#ifndef ZAMUNIFIED_FEATURESET_H
#define ZAMUNIFIED_FEATURESET_H

namespace ZAMUnified {

class FeatureSet {
  public:
    virtual ~FeatureSet();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FEATURESET_H
