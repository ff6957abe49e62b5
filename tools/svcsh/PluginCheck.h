// svcsh::checkPluginDirectory: the plug-in checker behind `svcsh check DIR`. It reads a library
// directory's manifest with the framework's own loader, opens the library and runs its injection
// into a fresh UnifiedFactory of its own, then compares what the library registered with what the
// manifest promises, and whether each registered service has a reflector.
// Threading: call from one thread at a time; the fresh factory makes the calling thread its
// dispatcher thread, so nothing waits for the host's pump.
// Failure: problems are rows of the printed table and the exit status; nothing throws.
#ifndef SVCSH_PLUGINCHECK_H
#define SVCSH_PLUGINCHECK_H

#include <ostream>
#include <string>

namespace svcsh {

// Exit statuses of checkPluginDirectory.
constexpr int kCheckPassed = 0;      // everything promised is registered, nothing more
constexpr int kCheckProblems = 1;    // at least one PROBLEM row
constexpr int kCheckUnreadable = 2;  // the manifest is missing or yields no library record

// Checks DIR/<last component of DIR>.xml and the library it names; prints one table to `out`:
//
//   Checking plug-in directory <DIR>
//   KIND              KEY                                       RESULT
//   manifest          <DIR>/<B>.xml                             ok
//   version           2.1.0                                     ok: the library's version
//   library           <name>                                    ok: opened and injected
//   framework         1.0                                       ok: this framework has ...
//   service           N10ZAMUnified17HelloWorldServiceE         ok: registered, has a reflector
//   service id        42876                                     ok: registered
//   ...
//   0 problems
//
// The version row shows the version the manifest gives, the framework row the framework
// interface version the library recorded; each is left out when there is none.
// A PROBLEM row names what is wrong: a manifest error (the loader's text), a library that will
// not open (with the platform's text), no injection entry, a library built against a framework
// interface version this framework refuses (both versions named), an injection that threw, an
// item promised and not registered, an item registered and not promised, a service without a
// reflector. Libraries stay open afterwards, as every loaded service library does.
int checkPluginDirectory(const std::string& directory, std::ostream& out);

}  // namespace svcsh

#endif  // SVCSH_PLUGINCHECK_H
