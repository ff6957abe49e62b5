#include <ZAMUnified/FeatureSetAdapter.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
FeatureSetAdapter::~FeatureSetAdapter() = default;

}  // namespace ZAMUnified
