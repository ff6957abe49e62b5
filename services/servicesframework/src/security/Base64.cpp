#include <zam/Base64.h>

#include <zam/Base64Encoding.h>
#include <zam/Base64FamilyEncoder.h>
#include <zam/Base64urlEncoding.h>

namespace zam {

namespace {

// Built on first use rather than at load time, so that code running during another library's
// static initialisation can already encode.
const Base64FamilyEncoder& base64Encoder() {
    static const Base64FamilyEncoder encoder(&Base64Encoding::getInstance());
    return encoder;
}

const Base64FamilyEncoder& base64urlEncoder() {
    static const Base64FamilyEncoder encoder(&Base64urlEncoding::getInstance());
    return encoder;
}

}  // namespace

std::string base64_encode(const unsigned char* bytes, unsigned int count, bool lineBreaks) {
    return base64Encoder().encode(bytes, count, lineBreaks);
}

std::string base64_encode_without_padding(const unsigned char* bytes, unsigned int count,
                                          bool lineBreaks) {
    return base64Encoder().encodeWithoutPadding(bytes, count, lineBreaks);
}

int base64_decode(const std::string& text, std::vector<unsigned char>& bytes) {
    return base64Encoder().decode(text, bytes);
}

int base64_decode_without_padding(const std::string& text, std::vector<unsigned char>& bytes) {
    return base64Encoder().decodeWithoutPadding(text, bytes);
}

std::string base64url_encode(const unsigned char* bytes, unsigned int count, bool lineBreaks) {
    return base64urlEncoder().encode(bytes, count, lineBreaks);
}

std::string base64url_encode_without_padding(const unsigned char* bytes, unsigned int count,
                                             bool lineBreaks) {
    return base64urlEncoder().encodeWithoutPadding(bytes, count, lineBreaks);
}

int base64url_decode(const std::string& text, std::vector<unsigned char>& bytes) {
    return base64urlEncoder().decode(text, bytes);
}

int base64url_decode_without_padding(const std::string& text, std::vector<unsigned char>& bytes) {
    return base64urlEncoder().decodeWithoutPadding(text, bytes);
}

}  // namespace zam
