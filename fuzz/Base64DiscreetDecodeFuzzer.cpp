// zam::base64_discreet_decode on an arbitrary secure string: the result and the bytes equal those
// of the discreet rules written out plainly here, a failure leaves the output as it was, and the
// bytes of a success encode again (with and without line breaks) to text that decodes back to
// them.
#include <zam/Base64DiscreetEncoder.h>

#include <zam/Base64Encoding.h>

#include "FuzzCheck.h"
#include "security/ReadBack.h"

#include <algorithm>

namespace {

// Skip "\r" and "\n"; groups of four; three bytes a group, one fewer for each "=" among its last
// two characters.
int plainDiscreetDecode(const std::string& text, std::string& bytes) {
    std::string chars = text;
    chars.erase(
        std::remove_if(chars.begin(), chars.end(), [](char c) { return c == '\r' || c == '\n'; }),
        chars.end());
    if (chars.empty() || chars.size() % 4 != 0) {
        return -1;
    }
    const unsigned char* table = zam::Base64Encoding::DECODE_TABLE;
    for (std::size_t at = 0; at < chars.size(); at += 4) {
        unsigned int d[4];
        for (std::size_t k = 0; k < 4; ++k) {
            if ((d[k] = table[static_cast<unsigned char>(chars[at + k])]) == 255) {
                return -1;
            }
        }
        const char group[3] = {static_cast<char>((d[0] << 2) | (d[1] >> 4)),
                               static_cast<char>((d[1] << 4) | (d[2] >> 2)),
                               static_cast<char>((d[2] << 6) | d[3])};
        bytes.append(group, 3 - (chars[at + 3] == '=' ? 1 : 0) - (chars[at + 2] == '=' ? 1 : 0));
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zam::SecureString out(std::string("sentinel"));
    const int result = zam::base64_discreet_decode(zam::SecureString(text), out);

    std::string expected;
    SF_FUZZ_CHECK(plainDiscreetDecode(text, expected) == result);
    // A failure leaves the output as it was.
    const std::string bytes = sftest::readBack(out);
    SF_FUZZ_CHECK(bytes == (result == 0 ? expected : std::string("sentinel")));
    if (result != 0) {
        return 0;
    }
    for (const bool lineBreaks : {false, true}) {
        const zam::SecureString encoded =
            zam::base64_discreet_encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<unsigned int>(bytes.size()), lineBreaks);
        zam::SecureString again;
        SF_FUZZ_CHECK(zam::base64_discreet_decode(encoded, again) == 0 &&
                      sftest::readBack(again) == bytes);
    }
    return 0;
}
