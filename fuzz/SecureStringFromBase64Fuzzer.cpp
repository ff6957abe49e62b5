// zam::SecureString::createFromBase64 on arbitrary text: it never crashes, is empty exactly when
// the text does not decode to at least an IV's worth of bytes, otherwise keeps those bytes as its
// serialised form and writes them back as the same canonical Base64. Decrypting whatever came in
// (mostly garbage) must be safe, and a string always equals itself.
#include <zam/SecureString.h>

#include <zam/Base64.h>
#include "FuzzCheck.h"
#include "security/ReadBack.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const zam::SecureString secret = zam::SecureString::createFromBase64(text);

    std::vector<unsigned char> bytes;
    const bool restorable = zam::base64_decode(text, bytes) == 0 && bytes.size() >= 16;
    SF_FUZZ_CHECK(secret.empty() == !restorable);
    if (!restorable) {
        SF_FUZZ_CHECK(secret.serializeToBase64().empty());
        return 0;
    }
    SF_FUZZ_CHECK(secret.getEncryptedValue() == bytes);
    const std::string canonical =
        zam::base64_encode(bytes.data(), static_cast<unsigned int>(bytes.size()), false);
    SF_FUZZ_CHECK(secret.serializeToBase64() == canonical);
    SF_FUZZ_CHECK(zam::SecureString::createFromBase64(canonical).getEncryptedValue() == bytes);

    SF_FUZZ_CHECK(sftest::readBack(secret).size() <= bytes.size() - 16);
    SF_FUZZ_CHECK(secret == secret);
    return 0;
}
