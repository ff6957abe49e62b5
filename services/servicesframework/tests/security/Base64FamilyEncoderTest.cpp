#include <zam/Base64FamilyEncoder.h>

#include <zam/Base64.h>
#include <zam/Base64Encoding.h>
#include <zam/Base64urlEncoding.h>

#include "security/Base64Reference.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace {

using Bytes = std::vector<unsigned char>;
using namespace std::string_literals;

// One encoder of the family on the bytes of a string.
template <typename Encode>
std::string encode(Encode encodeBytes, const std::string& text, bool lineBreaks) {
    return encodeBytes(reinterpret_cast<const unsigned char*>(text.data()),
                       static_cast<unsigned int>(text.size()), lineBreaks);
}

// Junk that a decoder must append behind, and must leave alone when it fails.
const Bytes kJunk = {0xDE, 0xAD, 0xBE, 0xEF};

template <typename Decode>
std::pair<int, Bytes> decodeAfterJunk(Decode decode, const std::string& text) {
    Bytes out = kJunk;
    const int result = decode(text, out);
    return {result, out};
}

// What decodeAfterJunk gives when the result is `result` and, on success, `data` was decoded.
std::pair<int, Bytes> junkThen(int result, const std::string& data) {
    Bytes out = kJunk;
    if (result == 0) {
        out.insert(out.end(), data.begin(), data.end());
    }
    return {result, out};
}

// RFC 4648 section 10, in both alphabets, with the padding each one writes.
TEST(Base64FamilyEncoderTest, Rfc4648VectorsInBothAlphabets) {
    // clang-format off
    const char* const vectors[][3] = {{"", "", ""}, {"f", "Zg==", "Zg%3D%3D"},
        {"fo", "Zm8=", "Zm8%3D"}, {"foo", "Zm9v", "Zm9v"}, {"foob", "Zm9vYg==", "Zm9vYg%3D%3D"},
        {"fooba", "Zm9vYmE=", "Zm9vYmE%3D"}, {"foobar", "Zm9vYmFy", "Zm9vYmFy"}};
    // clang-format on
    for (const auto& [plain, base64, url] : vectors) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(base64, encode(zam::base64_encode, plain, false));
        EXPECT_EQ(url, encode(zam::base64url_encode, plain, true));
        const std::string bare(base64, std::strcspn(base64, "="));
        EXPECT_EQ(bare, encode(zam::base64_encode_without_padding, plain, false));
        EXPECT_EQ(bare, encode(zam::base64url_encode_without_padding, plain, false));
        const auto expected = junkThen(*plain == '\0' ? -1 : 0, plain);
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64_decode, base64));
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64url_decode, url));
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64url_decode_without_padding, bare));
    }
    // No bytes behind a null pointer, whatever the count says.
    EXPECT_EQ("", zam::base64_encode(nullptr, 5, true) +
                      zam::base64_encode_without_padding(nullptr, 1, false) +
                      zam::base64url_encode_without_padding(nullptr, 3, true));
}

// The alphabets differ only in their last two characters; base64url spells its padding "%3D".
TEST(Base64FamilyEncoderTest, AlphabetsTablesAndPaddingStrings) {
    EXPECT_EQ("++//ABCD", encode(zam::base64_encode, "\xFB\xEF\xFF\x00\x10\x83"s, false));
    EXPECT_EQ("--__ABCD", encode(zam::base64url_encode, "\xFB\xEF\xFF\x00\x10\x83"s, false));
    EXPECT_EQ(junkThen(-2, ""), decodeAfterJunk(zam::base64_decode, "--__ABCD"));
    EXPECT_EQ(junkThen(-2, ""), decodeAfterJunk(zam::base64url_decode, "++//ABCD"));
    EXPECT_EQ(junkThen(0, "\xFB\xEF\xFF"), decodeAfterJunk(zam::base64url_decode, "--__"));
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::tuple<const zam::Encoding&, std::string, std::string> cases[] = {
        {zam::Base64Encoding::getInstance(), letters + "+/", "="},
        {zam::Base64urlEncoding::getInstance(), letters + "-_", "%3D"}};
    for (const auto& [encoding, alphabet, padding] : cases) {
        SCOPED_TRACE(padding);
        EXPECT_EQ(alphabet, encoding.getEncodingTable());
        std::vector<int> expected(256, 255);
        for (int i = 0; i < 64; ++i) {
            expected[static_cast<unsigned char>(alphabet[i])] = i;
        }
        expected['='] = 0;
        EXPECT_EQ(expected,
                  std::vector<int>(encoding.getDecodingTable(), encoding.getDecodingTable() + 256));
        EXPECT_EQ(padding, encoding.getEncodedPaddingChars());
        EXPECT_EQ("=", encoding.getDecodedPaddingChars());
        EXPECT_EQ(padding != "=", encoding.isPaddingCharEncoded());
    }
}

TEST(Base64FamilyEncoderTest, LineBreaksFollowEveryFullLineButNeverTheShortGroup) {
    // 72 characters, as LongInputsAsOpenSslEncodesThem... checks.
    const std::string line = encode(zam::base64_encode, std::string(54, 'x'), false);
    EXPECT_EQ(line + "\r\n", encode(zam::base64_encode, std::string(54, 'x'), true));
    EXPECT_EQ(line + "\r\neA==", encode(zam::base64_encode, std::string(55, 'x'), true));
    EXPECT_EQ(line + "\r\neA%3D%3D", encode(zam::base64url_encode, std::string(55, 'x'), true));
    EXPECT_EQ(line + "\r\neA",
              encode(zam::base64_encode_without_padding, std::string(55, 'x'), true));
    EXPECT_EQ(line + "\r\n" + line + "\r\n",
              encode(zam::base64_encode, std::string(108, 'x'), true));
}

// Result codes and which check decides first; a failed decode, whichever stage fails, leaves the
// caller's vector as it was. (The fuzzers compare every input with the literal rules of
// Base64Reference.h.)
TEST(Base64FamilyEncoderTest, DecodeResultsAndTheirPrecedenceInBothAlphabets) {
    // The results of base64_decode and base64_decode_without_padding; the bytes when either
    // succeeds.
    // clang-format off
    const std::tuple<const char*, int, const char*, int> cases[] = {
        {"", -1, "", -1}, {"YWJj", 0, "abc", 0}, {"YWI=", 0, "ab", 0}, {"YQ==", 0, "a", 0},
        {"YWI", -2, "ab", 0}, {"YQ=", -2, "a", 0},  // padding missing (completed when optional)
        {"YQ===", 0, "a", 0}, {"YQ==========", 0, "a", 0},  // surplus padding removed
        {"Y", -2, "", -2}, {"Y===", -2, "", -2},  // final group of one character
        {"QQ==QQ==", -2, "", -2},  // data behind padding
        {"YQ==\r\n", 0, "a", 0}, {"YW\r\nJj", 0, "abc", 0},  // line break at the end, in a group
        {"YWJj\r\nYWJj\r\nYQ==", 0, "abcabca", 0},
        {"YWJj\r\nYWJjYW\r\nJj", -2, "", -2},  // irregular
        {"YWJj\nYWJj", -2, "", -2},  // bare "\n" is not a line break
        {"YW*j", -2, "", -2}, {"YWJjYW*j", -2, "", -2}, {"YWJjYWJjYWJj*WJj", -2, "", -2},
        {"%3D", -2, "", -2},  // "%" is not in the Base64 alphabet
        {"YQ==\r\n==\r\n", 0, "a", 0}, {"YQ==\r\n=x", -2, "", -2},  // padding, breaks mixed
        {"YWJjY\r\r\n\nQ==", -3, "", -3},  // cascading breaks leave a short group
        {"Y*JjY\r\r\n\nQ==", -2, "", -2},  // a bad full group outranks the short group
        {"YWJjY\r\r\n\n*==", -3, "", -3},  // a bad short group is still a short group
        {"\r\n", 0, "", 0}};  // nothing but a line break
    // clang-format on
    for (const auto& [text, base64, data, withoutPad] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(text)));
        EXPECT_EQ(junkThen(base64, data), decodeAfterJunk(zam::base64_decode, text));
        EXPECT_EQ(junkThen(withoutPad, data),
                  decodeAfterJunk(zam::base64_decode_without_padding, text));
    }
    // base64url takes both spellings of padding.
    // clang-format off
    const std::tuple<const char*, int, const char*> urlCases[] = {
        {"YQ%3D%3D", 0, "a"}, {"YWI%3D", 0, "ab"}, {"", -1, ""},
        {"YWI=", 0, "ab"}, {"YQ==", 0, "a"},  // "=" is padding, never data bits
        {"YQ=%3D", 0, "a"}, {"YQ%3D%3D%3D", 0, "a"}, {"YQ%3D", -2, ""},  // mixed, surplus, too few
        {"YQ%3D%3D\r\n", 0, "a"},  // a line break behind encoded padding
        {"YQ%3D%3DYQ%3D%3D", -2, ""},  // data behind padding
        {"YQ%3", -2, ""}};  // a torn padding string is not padding
    // clang-format on
    for (const auto& [text, result, data] : urlCases) {
        EXPECT_EQ(junkThen(result, data), decodeAfterJunk(zam::base64url_decode, text)) << text;
    }
    EXPECT_EQ(junkThen(0, "a"), decodeAfterJunk(zam::base64url_decode_without_padding, "YQ"));
}

// Long inputs take the two-groups-at-a-time path, and long texts are decoded through wide tables.
// Around the length where both start, the text must be OpenSSL's (with line breaks, the same text
// cut into 72-character lines); in both alphabets, with and without line breaks, it must decode to
// the bytes encoded; and a character outside the alphabet anywhere, or a stray line break, must
// give what the literal rules give.
TEST(Base64FamilyEncoderTest, LongInputsAsOpenSslEncodesThemAndTheLiteralRulesDecodeThem) {
    std::mt19937 random(2045);
    const unsigned int threshold = 3 * 16384;  // 65536 characters
    for (const unsigned int length :
         {threshold - 3, threshold - 1, threshold, threshold + 1, threshold + 2, threshold + 6,
          threshold + 7, 1u << 20, (1u << 20) + 1}) {
        SCOPED_TRACE(length);
        std::string data(length, '\0');
        std::generate(data.begin(), data.end(), random);
        std::string expected(4 * ((length + 2) / 3) + 1, '\0');
        expected.resize(static_cast<std::size_t>(EVP_EncodeBlock(
            reinterpret_cast<unsigned char*>(&expected[0]),
            reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(length))));
        EXPECT_EQ(expected, encode(zam::base64_encode, data, false));
        std::string lines;
        for (std::size_t at = 0; at < expected.size(); at += 72) {
            lines += expected.substr(at, 72) + (expected.size() - at >= 72 ? "\r\n" : "");
        }
        EXPECT_EQ(lines, encode(zam::base64_encode, data, true));

        for (zam::Encoding* encoding : std::initializer_list<zam::Encoding*>{
                 &zam::Base64Encoding::getInstance(), &zam::Base64urlEncoding::getInstance()}) {
            const zam::Base64FamilyEncoder encoder(encoding);
            const auto decode = [&](const std::string& text, Bytes& out) {
                return encoder.decode(text, out);
            };
            const auto reference = [&](const std::string& text, Bytes& out) {
                return sftest::referenceDecode(text, encoding->getDecodingTable(),
                                               encoding->getEncodedPaddingChars(), out);
            };
            for (const bool lineBreaks : {false, true}) {
                const std::string text =
                    encode([&](auto... args) { return encoder.encode(args...); }, data, lineBreaks);
                ASSERT_EQ(junkThen(0, data), decodeAfterJunk(decode, text));
                if (length > 2 * threshold) {
                    continue;  // the literal rules take long on a mebibyte
                }
                const std::size_t last = text.size() - 4;  // where the last group starts
                for (const std::size_t at :
                     {std::size_t{0}, text.size() / 2, last - 1, last, text.size() - 1}) {
                    for (const char stray : {'*', '\r'}) {
                        std::string broken = text;
                        broken[at] = stray;
                        ASSERT_EQ(decodeAfterJunk(reference, broken),
                                  decodeAfterJunk(decode, broken))
                            << at << " " << static_cast<int>(stray);
                    }
                }
            }
        }
    }
}

// --- Building blocks ---------------------------------------------------------------------------

const zam::Base64FamilyEncoder base64{&zam::Base64Encoding::getInstance()};
const zam::Base64FamilyEncoder url{&zam::Base64urlEncoding::getInstance()};

// Each row: what a step answered, and what it must answer (true is 1). The rows run in order, so
// the group decodes append to `out` one after another. getPaddingChars counts only the encoded
// spelling of padding ("YWI=" has none for base64url); weakCheckNewLines lets the last line run
// past the period by the width of encoded padding.
TEST(Base64FamilyStepsTest, CountsChecksAndGroupDecoding) {
    Bytes out = {9};
    const auto inside = [](std::size_t at) { return url.isInsideEncodedPaddingChar("YQ%3D", at); };
    // clang-format off
    const long rows[][2] = {
        {base64.getNewLines("YWJj"), 0}, {base64.getNewLines("a\r\nb\r\n"), 2},
        {base64.getNewLines("\r\r\n\n"), 1}, {base64.getNewLines("\n\r"), 0},
        {base64.getPaddingChars("YWJj"), 0}, {base64.getPaddingChars("YQ=="), 2},
        {base64.getPaddingChars("YQ=\r\n=="), 3}, {base64.getPaddingChars("YQ==a"), -1},
        {base64.getPaddingChars("YQ==\r"), -1}, {url.getPaddingChars("YQ%3D%3D"), 2},
        {url.getPaddingChars("YWI="), 0}, {url.getPaddingChars("YQ%3D="), -1},
        {base64.weakCheckNewLines("YWJjYWJj"), 1},
        {base64.weakCheckNewLines("YWJj\r\nYWJj\r\nYQ=="), 1},
        {base64.weakCheckNewLines("YWJj\r\nYWJjYW\r\nJj"), 0},
        {base64.weakCheckNewLines("YW\r\nJj\r\nYQ\r\n=="), 1},
        {url.weakCheckNewLines("YWJj\r\nYQ%3D%3D"), 1},
        {base64.weakCheckNewLines("YWJj\r\nYWJjYQ=="), 0},
        {url.isInsideEncodedPaddingChar("YQ%3", 2), 0},
        {inside(0), 0}, {inside(1), 0}, {inside(2), 1}, {inside(3), 1}, {inside(4), 1},
        {inside(5), 0}, {base64.checkCharGroup("+/=A"), 1}, {base64.checkCharGroup("A\r"), 0},
        {url.checkCharGroup("+"), 0},
        {base64.decodeGroup("YWJj", out), 0}, {base64.decodeGroup("YQ==", out), 0},
        {base64.decodeGroup("YWJ", out), -1}, {base64.decodeGroup("YWJjY", out), -1},
        {base64.decodeGroup("YW-j", out), -1}, {url.decodeGroup("YW-j", out), 0}};
    // clang-format on
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(rows[i][1], rows[i][0]) << "row " << i;
    }
    EXPECT_EQ((Bytes{9, 'a', 'b', 'c', 'a', 0, 0, 'a', 'o', 0xA3}), out);
    const std::pair<std::string, std::string> erasures[] = {
        {"YW\r\nJj\r\n", "YWJj"}, {"\r\r\n\n", ""}, {"a\r\r\r\n\n\nb", "ab"},
        {"\n\r", "\n\r"},         {"\r\n\r\n", ""}, {"a\r\r\n\r\n\nb", "ab"},
        {"\r\r\nx\n", "\rx\n"},   {"", ""}};
    for (const auto& [text, erased] : erasures) {
        std::string copy = text;
        base64.eraseNewLines(copy);
        EXPECT_EQ(erased, copy) << testing::PrintToString(text);
    }
}

// Each repair, as "<result> <text afterwards>".
TEST(Base64FamilyStepsTest, PaddingRepairs) {
    auto removed = [](const zam::Base64FamilyEncoder& encoder, std::string text, long lineBreaks,
                      long padding) {
        const long result = encoder.removeUnnecessaryEncodedPaddingChars(text, lineBreaks, padding);
        return std::to_string(result) + " " + text;
    };
    auto decoded = [](const zam::Base64FamilyEncoder& encoder, std::string text, long count) {
        encoder.decodeEndingPaddingChars(text, count);
        return text;
    };
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {base64.addMissingPaddingChars("YQ"), "YQ=="},
        {url.addMissingPaddingChars("YQ"), "YQ%3D%3D"},
        {base64.addMissingPaddingChars("YWI"), "YWI="},
        {base64.addMissingPaddingChars("YQ=="), "YQ=="},
        {base64.addMissingPaddingChars("YW\r\nI"), "YW\r\nI="},
        {removed(base64, "YQ====\r\n=", 1, 5), "2 YQ==\r\n"},
        {removed(url, "YQ%3D%3D%3D", 0, 3), "2 YQ%3D%3D"}, {removed(base64, "YQ=", 0, 1), "-1 YQ="},
        {removed(base64, "YQ==", 0, 6), "-2 YQ"},  // counts disagree: what it found is gone
        {decoded(url, "YQ%3D%3D", 2), "YQ=="}, {decoded(url, "YQ%3D%3D\r\n", 2), "YQ==\r\n"},
        {decoded(base64, "YQ==", 2), "YQ=="}};
    // clang-format on
    for (const auto& [got, expected] : rows) {
        EXPECT_EQ(expected, got);
    }
}

}  // namespace
