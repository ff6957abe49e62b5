// Starting the console that the environment asks for (SF_CONSOLE=unix, unix:PATH or
// tcp:HOST:PORT) when the process's factory is made, without the host changing a line: the
// console library is loaded from beside the framework's own. A console library that is not
// installed, or that does not start, costs one warning record, never the factory.
// Threading: the thread that makes the factory. Failure: logged only.
#ifndef SERVICESFRAMEWORK_DETAIL_ENVIRONMENTCONSOLE_H
#define SERVICESFRAMEWORK_DETAIL_ENVIRONMENTCONSOLE_H

#include <ZAMUnified/ServiceFactory.h>

namespace ZAMUnified {
namespace detail {

// Once per process; does nothing when SF_CONSOLE is unset or empty.
void startEnvironmentConsole(ServiceFactory& factory);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESFRAMEWORK_DETAIL_ENVIRONMENTCONSOLE_H
