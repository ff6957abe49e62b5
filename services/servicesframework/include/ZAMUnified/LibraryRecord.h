// ZAMUnified::LibraryRecord: what the library loader knows of one service library: its name
// (which forms the entry symbol "Inject" + name), its file, and the services, feature sets and
// authenticators it provides. Filled from the built-in table or from a manifest.
// Threading: the lists are fixed before the record is registered; the loader reads and writes
// `handle`, `loadFailure` and `frameworkVersion` under its own lock only. Failure: nothing here
// fails.
#ifndef ZAMUNIFIED_LIBRARYRECORD_H
#define ZAMUNIFIED_LIBRARYRECORD_H

#include <string>
#include <vector>

namespace ZAMUnified {

class LibraryRecord {
  public:
    std::string name;
    std::string path;                       // absolute path of the shared library file
    std::vector<std::string> serviceNames;  // mangled type names
    std::vector<unsigned int> serviceIds;
    std::vector<std::string> featureSetNames;  // mangled type names
    std::vector<unsigned int> featureSetIds;
    std::vector<unsigned int> authenticatorIds;
    std::vector<std::string> authenticatorNames;  // plain names, matched case-blind
    void* handle = nullptr;  // set once the library is open; it is never closed
    // Why the last attempt to open or inject the library failed ("could not be opened: <platform
    // text>", "has no injection entry Inject<name>", "threw from its injection entry ..."); empty
    // before any attempt and after a clean one. Kept so that hosts learn why a look-up found
    // nothing without reading the log.
    std::string loadFailure;
    // The library's own version as its manifest gives it ("2.1.0"); "" when it gives none.
    std::string version;
    // The framework interface version the library recorded ("1.0", FrameworkVersion.h), read when
    // it is opened; "" before that, and for a library that records none.
    std::string frameworkVersion;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_LIBRARYRECORD_H
