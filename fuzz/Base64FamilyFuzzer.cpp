// One Base64-family decoder on arbitrary text (which one is chosen at build time):
// - the result is one of the four codes, and a failure leaves the output as it was;
// - the result and the bytes equal those of the literal decoding rules;
// - the bytes of a success encode again, with and without line breaks and padding, to text that
//   decodes back to the same bytes.
#include <zam/Base64.h>
#include <zam/Base64Encoding.h>
#include <zam/Base64urlEncoding.h>

#include "FuzzCheck.h"
#include "security/Base64Reference.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

#ifdef SF_FUZZ_URL
const zam::Encoding& alphabet() {
    return zam::Base64urlEncoding::getInstance();
}
const auto encodePadded = zam::base64url_encode;
const auto encodeBare = zam::base64url_encode_without_padding;
const auto decodePadded = zam::base64url_decode;
const auto decodeBare = zam::base64url_decode_without_padding;
#else
const zam::Encoding& alphabet() {
    return zam::Base64Encoding::getInstance();
}
const auto encodePadded = zam::base64_encode;
const auto encodeBare = zam::base64_encode_without_padding;
const auto decodePadded = zam::base64_decode;
const auto decodeBare = zam::base64_decode_without_padding;
#endif

#ifdef SF_FUZZ_WITHOUT_PADDING
constexpr bool kWithoutPadding = true;
#else
constexpr bool kWithoutPadding = false;
#endif

const Bytes kJunk = {0xA5, 0x5A};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Bytes out = kJunk;
    const int result = kWithoutPadding ? decodeBare(text, out) : decodePadded(text, out);
    SF_FUZZ_CHECK(result == 0 || result == -1 || result == -2 || result == -3);
    SF_FUZZ_CHECK(result == 0 || out == kJunk);
    SF_FUZZ_CHECK(out.size() >= kJunk.size() && Bytes(out.begin(), out.begin() + 2) == kJunk);

    const std::string& padding = alphabet().getEncodedPaddingChars();
    Bytes expected = kJunk;
    const int want = sftest::referenceDecode(
        kWithoutPadding ? sftest::referenceAddMissingPadding(text, padding) : text,
        alphabet().getDecodingTable(), padding, expected);
    SF_FUZZ_CHECK(want == result);
    SF_FUZZ_CHECK(expected == out);
    if (result != 0) {
        return 0;
    }

    const Bytes bytes(out.begin() + 2, out.end());
    const auto count = static_cast<unsigned int>(bytes.size());
    for (const bool lineBreaks : {false, true}) {
        const std::string padded = encodePadded(bytes.data(), count, lineBreaks);
        const std::string bare = encodeBare(bytes.data(), count, lineBreaks);
        if (bytes.empty()) {
            SF_FUZZ_CHECK(padded.empty() && bare.empty());
            continue;
        }
        Bytes again;
        SF_FUZZ_CHECK(decodePadded(padded, again) == 0 && again == bytes);
        again.clear();
        SF_FUZZ_CHECK(decodeBare(bare, again) == 0 && again == bytes);
        again.clear();
        SF_FUZZ_CHECK(decodeBare(padded, again) == 0 && again == bytes);
    }
    return 0;
}
