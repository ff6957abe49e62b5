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

#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

#ifdef SF_FUZZ_URL
#define SF_BASE64(function) zam::base64url_##function
using Alphabet = zam::Base64urlEncoding;
#else
#define SF_BASE64(function) zam::base64_##function
using Alphabet = zam::Base64Encoding;
#endif

#ifndef SF_FUZZ_WITHOUT_PADDING
#define SF_FUZZ_WITHOUT_PADDING 0
#endif
constexpr bool kWithoutPadding = SF_FUZZ_WITHOUT_PADDING;

const Bytes kJunk = {0xA5, 0x5A};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Bytes out = kJunk;
    const int result = kWithoutPadding ? SF_BASE64(decode_without_padding)(text, out)
                                       : SF_BASE64(decode)(text, out);

    const std::string& padding = Alphabet::getInstance().getEncodedPaddingChars();
    // The reference returns one of the four codes and appends to `expected` only on success, so
    // these two checks also prove that a failure leaves the output as it was.
    Bytes expected = kJunk;
    SF_FUZZ_CHECK(sftest::referenceDecode(
                      kWithoutPadding ? sftest::referenceAddMissingPadding(text, padding) : text,
                      Alphabet::getInstance().getDecodingTable(), padding, expected) == result);
    SF_FUZZ_CHECK(expected == out);
    if (result != 0) {
        return 0;
    }

    const Bytes bytes(out.begin() + 2, out.end());
    const auto count = static_cast<unsigned int>(bytes.size());
    for (const bool lineBreaks : {false, true}) {
        const std::string padded = SF_BASE64(encode)(bytes.data(), count, lineBreaks);
        const std::string bare = SF_BASE64(encode_without_padding)(bytes.data(), count, lineBreaks);
        if (bytes.empty()) {
            SF_FUZZ_CHECK(padded.empty() && bare.empty());
            continue;
        }
        Bytes viaPadded, viaBare, viaBareFromPadded;
        SF_FUZZ_CHECK(SF_BASE64(decode)(padded, viaPadded) == 0 && viaPadded == bytes);
        SF_FUZZ_CHECK(SF_BASE64(decode_without_padding)(bare, viaBare) == 0 && viaBare == bytes);
        SF_FUZZ_CHECK(SF_BASE64(decode_without_padding)(padded, viaBareFromPadded) == 0 &&
                      viaBareFromPadded == bytes);
    }
    return 0;
}
