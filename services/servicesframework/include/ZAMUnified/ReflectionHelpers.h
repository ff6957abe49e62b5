// ZAMUnified reflection helpers: let a service library describe a type from its member functions
// instead of writing one Property or Method subclass per member. This header gathers them:
// ObjectReflector.h (the reflector and selectOverload), ChangeNotifier.h (the notifiers),
// ReflectionTypeName.h (type names) and HelperReturnValues.h (the results they make).
// Threading: build a reflector on one thread, then only read it; notifiers may be used from any
// thread. Failure: refusals come from matchesParameters().
#ifndef ZAMUNIFIED_REFLECTIONHELPERS_H
#define ZAMUNIFIED_REFLECTIONHELPERS_H

#include <ZAMUnified/ChangeNotifier.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/ReflectionTypeName.h>

#endif  // ZAMUNIFIED_REFLECTIONHELPERS_H
