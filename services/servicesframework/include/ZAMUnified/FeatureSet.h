// ZAMUnified::FeatureSet: the interface under which a service library registers a feature set.
// The framework calls nothing on it; it reaches the object's FeatureSetAdapter by a cross cast.
//
// Threading: whatever the implementation states; the framework only copies the shared pointer.
// Failure: nothing here fails.
#ifndef ZAMUNIFIED_FEATURESET_H
#define ZAMUNIFIED_FEATURESET_H

namespace ZAMUnified {

class FeatureSet {
  public:
    virtual ~FeatureSet();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FEATURESET_H
