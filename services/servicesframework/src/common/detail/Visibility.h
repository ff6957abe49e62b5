// Marks framework internals that are not part of the interface hosts and plug-ins link against.
#ifndef SERVICESFRAMEWORK_DETAIL_VISIBILITY_H
#define SERVICESFRAMEWORK_DETAIL_VISIBILITY_H

#define SF_HIDDEN __attribute__((visibility("hidden")))

#endif  // SERVICESFRAMEWORK_DETAIL_VISIBILITY_H
