// The built-in key of zam::SecureString. Private to the framework: hosts never see it, and the
// secure string builds it afresh for every operation into a blob that is zeroed afterwards.
#ifndef SERVICESFRAMEWORK_SECURITY_SECURESTRINGKEY_H
#define SERVICESFRAMEWORK_SECURITY_SECURESTRINGKEY_H

namespace zam {

// Number of key bytes bWV0aG9k writes.
constexpr unsigned long SECURE_STRING_KEY_SIZE = 32;

// The exclusive or of the two values.
unsigned int u(unsigned int a, unsigned int b);

// Writes the 32 key bytes into `key`, each computed at run time from a pair of constants, so the
// key never stands anywhere as a whole. Does nothing for a null pointer.
void bWV0aG9k(unsigned char* key);

}  // namespace zam

#endif  // SERVICESFRAMEWORK_SECURITY_SECURESTRINGKEY_H
