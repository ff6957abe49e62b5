#include <ZAMUnified/ActualParameter.h>

namespace ZAMUnified {

// The value types of the reflection layer and lists of them, built here once so that hosts,
// plug-ins and the framework share one type identity for the dynamic casts.
#define ZAMUNIFIED_ACTUAL_PARAMETER(type, name, alias, kind, separator, suffix) \
    template class ActualParameter<type>;                                       \
    template class ActualParameter<std::shared_ptr<std::vector<type>>>;
ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_ACTUAL_PARAMETER)
#undef ZAMUNIFIED_ACTUAL_PARAMETER

}  // namespace ZAMUnified
