#include <ZAMUnified/FeatureSet.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
FeatureSet::~FeatureSet() = default;

}  // namespace ZAMUnified
