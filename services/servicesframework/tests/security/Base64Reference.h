// A literal rendering of the Base64-family decoding rules, one step after another, with the
// obvious quadratic loops (erase the first "\r\n" until none is left, erase the last surplus
// padding one at a time). It is slow on purpose and serves only to check the framework's one-pass
// decoder: the unit tests and the fuzzers compare the two on the same text.
#ifndef SERVICESFRAMEWORK_TESTS_SECURITY_BASE64REFERENCE_H
#define SERVICESFRAMEWORK_TESTS_SECURITY_BASE64REFERENCE_H

#include <algorithm>
#include <string>
#include <vector>

namespace sftest {

// `table`: the alphabet's decoding table. `encodedPadding`: "=" for Base64, "%3D" for base64url;
// both spellings of base64url padding mean "=", so they are made one before the steps run.
inline int referenceDecode(std::string text, const unsigned char* table,
                           const std::string& encodedPadding, std::vector<unsigned char>& out) {
    if (text.empty()) {
        return -1;
    }
    for (std::size_t at = text.find(encodedPadding);
         encodedPadding != "=" && at != std::string::npos; at = text.find(encodedPadding, at + 1)) {
        text.replace(at, encodedPadding.size(), "=");
    }
    const std::string crlf = "\r\n";

    const auto paddings = static_cast<std::size_t>(std::count(text.begin(), text.end(), '='));
    for (std::size_t pos = text.find('='); pos < text.size(); pos += text[pos] == '=' ? 1 : 2) {
        if (text[pos] != '=' && text.compare(pos, 2, crlf) != 0) {
            return -2;  // from the first "=" on, only "=" and "\r\n"
        }
    }

    std::size_t lineBreaks = 0;  // regular ones: every period from the first on
    const std::size_t first = text.find(crlf);
    for (std::size_t at = first; at < text.size(); at += first + 2) {
        if (text.compare(at, 2, crlf) != 0 && text[at] != '=') {
            return -2;
        }
    }
    for (std::size_t at = first; at != std::string::npos; at = text.find(crlf, at + 2)) {
        ++lineBreaks;
    }

    const std::size_t lastGroup = (text.size() - paddings - 2 * lineBreaks) & 3U;
    const std::size_t needed = (4 - lastGroup) & 3U;
    if (lastGroup == 1 || paddings < needed) {
        return -2;
    }
    for (std::size_t surplus = paddings - needed; surplus > 0; --surplus) {
        text.erase(text.rfind('='), 1);  // every "=" was counted, so one is left to erase
    }
    for (std::size_t at = text.find(crlf); at != std::string::npos; at = text.find(crlf)) {
        text.erase(at, 2);
    }

    std::vector<unsigned char> decoded;
    for (std::size_t at = 0; at < text.size(); at += 4) {
        if (text.size() - at < 4) {
            return -3;
        }
        unsigned int d[4];
        for (std::size_t k = 0; k < 4; ++k) {
            if ((d[k] = table[static_cast<unsigned char>(text[at + k])]) == 255) {
                return -2;
            }
        }
        decoded.insert(decoded.end(), {static_cast<unsigned char>((d[0] << 2) | (d[1] >> 4)),
                                       static_cast<unsigned char>((d[1] << 4) | (d[2] >> 2)),
                                       static_cast<unsigned char>((d[2] << 6) | d[3])});
    }
    out.insert(out.end(), decoded.begin(), decoded.end() - needed);
    return 0;
}

// The text with the padding its final group lacks, counted as the decoder without padding does:
// on the text as given, encoded padding included.
inline std::string referenceAddMissingPadding(const std::string& text,
                                              const std::string& encodedPadding) {
    std::size_t lineBreaks = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lineBreaks;
    }
    const std::size_t lastGroup = (text.size() - 2 * lineBreaks) & 3U;
    std::string padded = text;
    for (std::size_t i = 0; i < ((4 - lastGroup) & 3U); ++i) {
        padded += encodedPadding;
    }
    return padded;
}

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_SECURITY_BASE64REFERENCE_H
