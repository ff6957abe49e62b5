// GetFactory: the framework library's one plain exported entry. A host resolves it by name
// (dlsym "GetFactory") and receives the factory's name and the process-wide service factory.
// Threading: any thread. Failure: none; both pointers stay valid until the process ends and
// must not be freed.
#ifndef ZAMUNIFIED_GETFACTORY_H
#define ZAMUNIFIED_GETFACTORY_H

#include <ZAMUnified/ServiceFactory.h>

extern "C" {

// Writes L"VelmarServiceFactory" through `name` and the service factory through `factory`.
void GetFactory(const wchar_t** name, ZAMUnified::ServiceFactory** factory);

// The signature, for hosts that resolve the entry with dlsym.
typedef void (*GetFactoryFunction)(const wchar_t** name, ZAMUnified::ServiceFactory** factory);
}

#endif  // ZAMUNIFIED_GETFACTORY_H
