// zam::base64_discreet_decode on an arbitrary secure string: the result and the bytes equal those
// of the discreet rules written out plainly here, a failure leaves the output as it was, and the
// bytes of a success encode again (with and without line breaks) to text that decodes back to
// them.
#include <zam/Base64DiscreetEncoder.h>

#include <zam/Base64Encoding.h>
#include <zam/SecureStringReader.h>

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

std::string readBack(const zam::SecureString& secret) {
    zam::SecureStringReader reader;
    secret.getUnsecureString(reader);
    return std::string(reader.c_str(), reader.getBufSize());
}

// Skip "\r" and "\n"; groups of four; three bytes a group, one fewer for each "=" among its last
// two characters.
int plainDiscreetDecode(const std::string& text, std::string& bytes) {
    std::string chars;
    for (const char c : text) {
        if (c != '\r' && c != '\n') {
            chars += c;
        }
    }
    if (chars.empty() || chars.size() % 4 != 0) {
        return -1;
    }
    const unsigned char* table = zam::Base64Encoding::DECODE_TABLE;
    for (std::size_t at = 0; at < chars.size(); at += 4) {
        unsigned int d[4];
        for (std::size_t k = 0; k < 4; ++k) {
            d[k] = table[static_cast<unsigned char>(chars[at + k])];
            if (d[k] == 255) {
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
    const int want = plainDiscreetDecode(text, expected);
    SF_FUZZ_CHECK(want == result);
    if (result != 0) {
        SF_FUZZ_CHECK(readBack(out) == "sentinel");
        return 0;
    }
    const std::string bytes = readBack(out);
    SF_FUZZ_CHECK(bytes == expected);
    for (const bool lineBreaks : {false, true}) {
        const zam::SecureString encoded =
            zam::base64_discreet_encode(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<unsigned int>(bytes.size()), lineBreaks);
        zam::SecureString again;
        SF_FUZZ_CHECK(zam::base64_discreet_decode(encoded, again) == 0);
        SF_FUZZ_CHECK(readBack(again) == bytes);
    }
    return 0;
}
