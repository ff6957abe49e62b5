// svcsh::newPlugin: `svcsh new-plugin NAME [DIR]` writes a complete service library project:
// CMake against the installed framework package, a service with a read-only property, a watchable
// property, a method and an overloaded one, its registration and reflection, a feature set, the
// manifest, and a GoogleTest test that loads the library through GetFactory and calls it.
// Threading: call from one thread. Failure: a bad name, a directory that is not empty or a file
// that cannot be written is reported on `err` with the exit status; nothing there is overwritten,
// and a directory this call created is removed again when writing fails.
#ifndef SVCSH_NEWPLUGIN_H
#define SVCSH_NEWPLUGIN_H

#include <ostream>
#include <string>

namespace svcsh {

// Exit statuses of newPlugin.
constexpr int kNewPluginWritten = 0;
constexpr int kNewPluginFailed = 1;  // the directory is not empty, or a file could not be written
constexpr int kNewPluginUsage = 2;   // no name, a name that cannot be one, or extra arguments

// Why `name` cannot name a library (it becomes a C++ class prefix, a namespace in lower case, a
// file and target name and the entry Inject<name>); empty when it can.
std::string pluginNameProblem(const std::string& name);

// Writes the project for the library `name` into `directory` (default: ./<name>), which must not
// exist or be empty, and prints what it wrote and how to build it to `out`. `frameworkPrefix` is
// the installation to suggest for CMAKE_PREFIX_PATH ("" when unknown).
int newPlugin(const std::string& name, const std::string& directory,
              const std::string& frameworkPrefix, std::ostream& out, std::ostream& err);

// The command line `svcsh new-plugin NAME [DIR]` (argv[1] is "new-plugin"); finds the installed
// framework beside the running svcsh.
int newPluginCommand(int argc, char** argv);

}  // namespace svcsh

#endif  // SVCSH_NEWPLUGIN_H
