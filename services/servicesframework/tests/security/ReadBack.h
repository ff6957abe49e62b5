// Reads a secure string's plain value back through a reader, as a caller would; shows a reader's
// text and size in one string.
#ifndef SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H
#define SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H

#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>

#include <string>

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

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_SECURITY_READBACK_H
