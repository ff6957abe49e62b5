// Helpers of the security suites: a secure string's plain value read back through a reader, as a
// caller would; a reader's text and size in one string; the arrays a piece of code releases.
#ifndef SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H
#define SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H

#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>

#include "support/ReleasedMemory.h"

#include <string>
#include <vector>

namespace sftest {

inline std::string readBack(const zam::SecureString& secret) {
    zam::SecureStringReader reader;
    secret.getUnsecureString(reader);
    return std::string(reader.c_str(), reader.getBufSize());
}

// "<text up to its NUL>/<size>".
inline std::string shown(const zam::SecureStringReader& reader) {
    return std::string(reader.c_str()) + "/" + std::to_string(reader.getBufSize());
}

// The arrays released while `run` runs, in order (see support/ReleasedMemory.h).
template <typename Run>
std::vector<ReleasedArray> releasedBy(Run run) {
    const ReleasedMemoryProbe probe;
    run();
    return probe.released();
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H
