#include <zam/Base64urlEncoding.h>

namespace zam {

// RFC 4648 Table 2.
const char* const Base64urlEncoding::ENCODE_TABLE =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// "=" (0x3D) decodes as 0 so that padding passes the group check; its bytes are cut afterwards.
// clang-format off
const unsigned char Base64urlEncoding::DECODE_TABLE[256] = {
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,  62, 255, 255,
     52,  53,  54,  55,  56,  57,  58,  59,  60,  61, 255, 255, 255,   0, 255, 255,
    255,   0,   1,   2,   3,   4,   5,   6,   7,   8,   9,  10,  11,  12,  13,  14,
     15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25, 255, 255, 255, 255,  63,
    255,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,
     41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
};
// clang-format on

Base64urlEncoding::Base64urlEncoding() : encodedPadding_("%3D"), decodedPadding_("=") {}

Base64urlEncoding::~Base64urlEncoding() = default;

Base64urlEncoding& Base64urlEncoding::getInstance() {
    static Base64urlEncoding instance;
    return instance;
}

const char* Base64urlEncoding::getEncodingTable() const {
    return ENCODE_TABLE;
}

const unsigned char* Base64urlEncoding::getDecodingTable() const {
    return DECODE_TABLE;
}

const std::string& Base64urlEncoding::getEncodedPaddingChars() const {
    return encodedPadding_;
}

const std::string& Base64urlEncoding::getDecodedPaddingChars() const {
    return decodedPadding_;
}

bool Base64urlEncoding::isPaddingCharEncoded() const {
    return true;
}

}  // namespace zam
