// ZAMUnified framework interface version: which framework a service library was built against.
// A library built with ZAMUNIFIED_SERVICE_LIBRARY (ServiceLibrary.h), or one that writes
// ZAMUNIFIED_RECORD_FRAMEWORK_VERSION(<name>) beside a hand-written entry, exports the version of
// the headers it was compiled with. The loader reads it after opening the library and, before it
// calls the injection entry, refuses a library whose version this framework cannot serve; a
// library that records nothing is loaded as before.
//
// The major version changes when a change breaks built plug-ins (a class's layout or virtual
// functions, a changed signature); the minor version when something is only added. A framework
// loads what was built against its own major version and a minor version no newer than its own.
// Threading and failure: constants and pure functions; any thread; nothing fails.
#ifndef ZAMUNIFIED_FRAMEWORKVERSION_H
#define ZAMUNIFIED_FRAMEWORKVERSION_H

#include <cstdint>
#include <string>

#define ZAMUNIFIED_FRAMEWORK_INTERFACE_MAJOR 1
#define ZAMUNIFIED_FRAMEWORK_INTERFACE_MINOR 0

namespace ZAMUnified {

// What a library exports, under the name frameworkVersionSymbol(<library name>).
struct FrameworkInterfaceVersion {
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
};

// The version these headers describe, which a plug-in compiled with them records.
constexpr FrameworkInterfaceVersion kFrameworkInterfaceVersion{
    ZAMUNIFIED_FRAMEWORK_INTERFACE_MAJOR, ZAMUNIFIED_FRAMEWORK_INTERFACE_MINOR};

// The version of the framework library that is running, which a host may have been given in
// place of the one it was built with.
FrameworkInterfaceVersion frameworkInterfaceVersion();

// "1.0".
std::string frameworkVersionText(FrameworkInterfaceVersion version);

// Whether a library built against `builtAgainst` may be injected into `framework`: the same
// major version, and a minor version no newer.
bool isCompatibleFrameworkVersion(FrameworkInterfaceVersion builtAgainst,
                                  FrameworkInterfaceVersion framework);

// The name of the record a library called `libraryName` exports:
// "ZAMUnifiedFrameworkVersion_" + libraryName. Named after the library, like its injection
// entry, so that a look-up in one library never finds the record of a library it links.
std::string frameworkVersionSymbol(const std::string& libraryName);

}  // namespace ZAMUnified

// Records, for the library `Name` (its manifest name, as in Inject<Name>, or a macro that expands
// to it), the interface version of the headers it is compiled with. Write it once, at namespace
// scope, in one source file.
#define ZAMUNIFIED_RECORD_FRAMEWORK_VERSION(Name) ZAMUNIFIED_RECORD_FRAMEWORK_VERSION_NAMED(Name)
#define ZAMUNIFIED_RECORD_FRAMEWORK_VERSION_NAMED(Name)                                 \
    extern "C" __attribute__((visibility("default"), used))                             \
    const ::ZAMUnified::FrameworkInterfaceVersion ZAMUnifiedFrameworkVersion_##Name = { \
        ZAMUNIFIED_FRAMEWORK_INTERFACE_MAJOR, ZAMUNIFIED_FRAMEWORK_INTERFACE_MINOR};

#endif  // ZAMUNIFIED_FRAMEWORKVERSION_H
