// The secure string's cryptographic steps: a random IV, and AES-256-CBC (PKCS#7 padding) through
// OpenSSL's EVP interface. Values of any size are fed to OpenSSL in chunks, because its length
// arguments are 32-bit ints.
#ifndef SERVICESFRAMEWORK_SECURITY_DETAIL_CIPHERSTEPS_H
#define SERVICESFRAMEWORK_SECURITY_DETAIL_CIPHERSTEPS_H

#include "common/detail/Visibility.h"

#include <cstddef>
#include <cstdint>

namespace zam {
class ByteBlob;
}

namespace zam::detail {

constexpr std::size_t SECURE_STRING_IV_SIZE = 16;
constexpr std::size_t SECURE_STRING_BLOCK_SIZE = 16;

// Reallocates `iv` to 16 bytes and fills it with bytes from RAND_bytes that no other IV got
// (fetched for several IVs at once and kept per thread). On failure the IV is released and the
// result is false.
SF_HIDDEN bool createIv(ByteBlob& iv);

// Encrypts `count` bytes into `out` (16 * (count / 16 + 1) bytes). On failure `out` is released
// (zeroed) and the result is false.
SF_HIDDEN bool encryptValue(const ByteBlob& key, const ByteBlob& iv, const unsigned char* plain,
                            std::uint64_t count, ByteBlob& out);

// Decrypts `encrypted` into `plain`. On failure (wrong sizes, bad padding) `plain` is released
// (zeroed) and the result is false.
SF_HIDDEN bool decryptValue(const ByteBlob& key, const ByteBlob& iv, const ByteBlob& encrypted,
                            ByteBlob& plain);

// Largest number of bytes handed to one EVP update call: 1 GiB, well inside an int. Exported
// (unlike the rest of this file) so that the tests can lower it and make small values span many
// chunks; 0 restores the default. Safe to call from any thread.
std::size_t cipherChunkSize() noexcept;
void setCipherChunkSize(std::size_t bytes) noexcept;

// Drops the IVs the calling thread holds, so that its next IV calls RAND_bytes. Exported for the
// tests, which swap the random generator.
void discardPooledIvs() noexcept;

}  // namespace zam::detail

#endif  // SERVICESFRAMEWORK_SECURITY_DETAIL_CIPHERSTEPS_H
