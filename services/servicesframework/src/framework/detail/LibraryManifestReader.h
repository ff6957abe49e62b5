// Reads a services library manifest: an XML file that names one library, its file (relative to
// the manifest's folder), optionally its version, and the services, feature sets and
// authenticators it provides. The work
// is libxml2's; nothing is logged here, the problems come back as text for the loader to report.
// Threading: any thread; calls share nothing.
#ifndef SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LIBRARYMANIFESTREADER_H
#define SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LIBRARYMANIFESTREADER_H

#include <ZAMUnified/LibraryRecord.h>

#include <string>
#include <vector>

#include "common/detail/Visibility.h"

namespace ZAMUnified {
namespace detail {

// What one manifest gave.
struct LibraryManifest {
    // The library records read: one, or none when the manifest cannot be parsed or names no
    // library file (a name or a path missing or empty).
    std::vector<LibraryRecord> records;
    // The error texts, in the order they were met. A record may come with problems: a service or
    // feature-set name not of the form Namespace::Class is kept unmangled after one.
    std::vector<std::string> problems;
};

// "ZAMUnified::Class" -> N10ZAMUnified<length of Class><Class>E, and any name qualified by one or
// more namespaces as the platform ABI mangles it ("acme::dev::Thermo" -> N4acme3dev6ThermoE);
// empty for a name without "::" or with an empty piece.
SF_HIDDEN std::string mangledTypeName(const std::string& name);

// Reads the manifest file at `manifestPath`. An empty path, or a file that is not XML with a root
// element, gives one problem and no record.
SF_HIDDEN LibraryManifest readLibraryManifest(const std::string& manifestPath);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESFRAMEWORK_FRAMEWORK_DETAIL_LIBRARYMANIFESTREADER_H
