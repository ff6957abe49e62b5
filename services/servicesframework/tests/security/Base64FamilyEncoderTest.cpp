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
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char* raw(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

unsigned int count(const std::string& text) {
    return static_cast<unsigned int>(text.size());
}

Bytes randomBytes(std::mt19937& random, std::size_t length) {
    Bytes data(length);
    for (auto& b : data) {
        b = static_cast<unsigned char>(random());
    }
    return data;
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
std::pair<int, Bytes> junkThen(int result, const char* data) {
    Bytes out = kJunk;
    if (result == 0) {
        out.insert(out.end(), data, data + std::strlen(data));
    }
    return {result, out};
}

// RFC 4648 section 10, in both alphabets, with the padding each one writes.
TEST(Base64FamilyEncoderTest, Rfc4648VectorsInBothAlphabets) {
    struct Vector {
        const char* plain;
        const char* base64;
        const char* base64url;
    };
    const Vector vectors[] = {
        {"", "", ""},
        {"f", "Zg==", "Zg%3D%3D"},
        {"fo", "Zm8=", "Zm8%3D"},
        {"foo", "Zm9v", "Zm9v"},
        {"foob", "Zm9vYg==", "Zm9vYg%3D%3D"},
        {"fooba", "Zm9vYmE=", "Zm9vYmE%3D"},
        {"foobar", "Zm9vYmFy", "Zm9vYmFy"},
    };
    for (const Vector& v : vectors) {
        const std::string plain = v.plain;
        SCOPED_TRACE(plain);
        EXPECT_EQ(v.base64, zam::base64_encode(raw(plain), count(plain), false));
        EXPECT_EQ(v.base64url, zam::base64url_encode(raw(plain), count(plain), true));
        std::string bare = v.base64;
        bare.erase(std::min(bare.find('='), bare.size()));
        EXPECT_EQ(bare, zam::base64_encode_without_padding(raw(plain), count(plain), false));
        EXPECT_EQ(bare, zam::base64url_encode_without_padding(raw(plain), count(plain), false));
        const auto expected = junkThen(plain.empty() ? -1 : 0, v.plain);
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64_decode, v.base64));
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64url_decode, v.base64url));
        EXPECT_EQ(expected, decodeAfterJunk(zam::base64url_decode_without_padding, bare));
    }
    // No bytes behind a null pointer, whatever the count says.
    EXPECT_EQ("", zam::base64_encode(nullptr, 5, true));
    EXPECT_EQ("", zam::base64_encode_without_padding(nullptr, 1, false));
    EXPECT_EQ("", zam::base64url_encode_without_padding(nullptr, 3, true));
}

// The alphabets differ only in their last two characters; base64url spells its padding "%3D".
TEST(Base64FamilyEncoderTest, AlphabetsTablesAndPaddingStrings) {
    const Bytes all = {0xFB, 0xEF, 0xFF, 0x00, 0x10, 0x83};
    EXPECT_EQ("++//ABCD", zam::base64_encode(all.data(), 6, false));
    EXPECT_EQ("--__ABCD", zam::base64url_encode(all.data(), 6, false));
    EXPECT_EQ(junkThen(-2, ""), decodeAfterJunk(zam::base64_decode, "--__ABCD"));
    EXPECT_EQ(junkThen(-2, ""), decodeAfterJunk(zam::base64url_decode, "++//ABCD"));
    EXPECT_EQ(junkThen(0, "\xFB\xEF\xFF"), decodeAfterJunk(zam::base64url_decode, "--__"));
    const struct {
        const zam::Encoding& encoding;
        const char* encodeTable;
        const unsigned char* decodeTable;
        const char* alphabet;
        const char* padding;  // as encoded
    } cases[] = {{zam::Base64Encoding::getInstance(), zam::Base64Encoding::ENCODE_TABLE,
                  zam::Base64Encoding::DECODE_TABLE,
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/", "="},
                 {zam::Base64urlEncoding::getInstance(), zam::Base64urlEncoding::ENCODE_TABLE,
                  zam::Base64urlEncoding::DECODE_TABLE,
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_", "%3D"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.padding);
        EXPECT_STREQ(c.alphabet, c.encodeTable);
        EXPECT_EQ(c.encodeTable, c.encoding.getEncodingTable());
        EXPECT_EQ(c.decodeTable, c.encoding.getDecodingTable());
        std::vector<int> expected(256, 255);
        for (int i = 0; i < 64; ++i) {
            expected[static_cast<unsigned char>(c.alphabet[i])] = i;
        }
        expected['='] = 0;
        EXPECT_EQ(expected, std::vector<int>(c.decodeTable, c.decodeTable + 256));
        EXPECT_EQ(c.padding, c.encoding.getEncodedPaddingChars());
        EXPECT_EQ("=", c.encoding.getDecodedPaddingChars());
        EXPECT_EQ(std::string(c.padding) != "=", c.encoding.isPaddingCharEncoded());
    }
}

TEST(Base64FamilyEncoderTest, LineBreaksFollowEveryFullLineButNeverTheShortGroup) {
    const std::string b54(54, 'x');
    const std::string line = zam::base64_encode(raw(b54), 54, false);
    ASSERT_EQ(72U, line.size());
    EXPECT_EQ(line + "\r\n", zam::base64_encode(raw(b54), 54, true));
    const std::string b55(55, 'x');
    EXPECT_EQ(line + "\r\neA==", zam::base64_encode(raw(b55), 55, true));
    EXPECT_EQ(line + "\r\neA%3D%3D", zam::base64url_encode(raw(b55), 55, true));
    EXPECT_EQ(line + "\r\neA", zam::base64_encode_without_padding(raw(b55), 55, true));
    const std::string b108(108, 'x');
    EXPECT_EQ(line + "\r\n" + line + "\r\n", zam::base64_encode(raw(b108), 108, true));
}

// Result codes and which check decides first; a failed decode, whichever stage fails, leaves the
// caller's vector as it was. Each input also runs against the literal rules in Base64Reference.h,
// so the table and the reference confirm each other.
TEST(Base64FamilyEncoderTest, DecodeResultsAndTheirPrecedence) {
    struct Case {
        const char* text;
        int base64;        // base64_decode
        const char* data;  // bytes when either decoder succeeds
        int withoutPad;    // base64_decode_without_padding
    };
    const Case cases[] = {
        {"", -1, "", -1},
        {"YWJj", 0, "abc", 0},
        {"YWI=", 0, "ab", 0},
        {"YQ==", 0, "a", 0},
        {"YWI", -2, "ab", 0},  // padding missing
        {"YQ=", -2, "a", 0},   // too little padding (completed when optional)
        {"YQ===", 0, "a", 0},  // surplus padding removed
        {"YQ==========", 0, "a", 0},
        {"Y", -2, "", -2},  // final group of one character
        {"Y===", -2, "", -2},
        {"QQ==QQ==", -2, "", -2},   // data behind padding
        {"YQ==\r\n", 0, "a", 0},    // line break at the end
        {"YW\r\nJj", 0, "abc", 0},  // inside a group
        {"YWJj\r\nYWJj\r\nYQ==", 0, "abcabca", 0},
        {"YWJj\r\nYWJjYW\r\nJj", -2, "", -2},  // irregular
        {"YWJj\nYWJj", -2, "", -2},            // bare "\n" is not a line break
        {"YW*j", -2, "", -2},                  // outside the alphabet
        {"YWJjYW*j", -2, "", -2},
        {"YWJjYWJjYWJj*WJj", -2, "", -2},
        {"YQ==\r\n==\r\n", 0, "a", 0},  // padding and breaks may mix at the end
        {"YQ==\r\n=x", -2, "", -2},
        {"YWJjY\r\r\n\nQ==", -3, "", -3},  // cascading breaks leave a short group
        {"Y*JjY\r\r\n\nQ==", -2, "", -2},  // a bad full group outranks the short group
        {"YWJjY\r\r\n\n*==", -3, "", -3},  // a bad short group is still a short group
        {"\r\n", 0, "", 0},                // nothing but a line break
        {"%3D", -2, "", -2},               // "%" is not in the Base64 alphabet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        EXPECT_EQ(junkThen(c.base64, c.data), decodeAfterJunk(zam::base64_decode, c.text));
        EXPECT_EQ(junkThen(c.withoutPad, c.data),
                  decodeAfterJunk(zam::base64_decode_without_padding, c.text));

        Bytes expected;
        EXPECT_EQ(c.base64, sftest::referenceDecode(c.text, zam::Base64Encoding::DECODE_TABLE, "=",
                                                    expected));
    }
}

TEST(Base64FamilyEncoderTest, Base64urlTakesBothSpellingsOfPadding) {
    struct Case {
        const char* text;
        int result;
        const char* data;
    };
    const Case cases[] = {
        {"YQ%3D%3D", 0, "a"},
        {"YWI%3D", 0, "ab"},
        {"YWI=", 0, "ab"},  // "=" is padding, never data bits
        {"YQ==", 0, "a"},
        {"YQ=%3D", 0, "a"},            // spellings mixed
        {"YQ%3D%3D%3D", 0, "a"},       // surplus
        {"YQ%3D", -2, ""},             // too little
        {"YQ%3D%3D\r\n", 0, "a"},      // a line break behind encoded padding
        {"YQ%3D%3DYQ%3D%3D", -2, ""},  // data behind padding
        {"YQ%3", -2, ""},              // a torn padding string is not padding
        {"", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(junkThen(c.result, c.data), decodeAfterJunk(zam::base64url_decode, c.text));
    }
    EXPECT_EQ(junkThen(0, "a"), decodeAfterJunk(zam::base64url_decode_without_padding, "YQ"));
}

// Long inputs take the two-groups-at-a-time path: its output, at lengths around where it starts
// and ends, must be OpenSSL's, and with line breaks the same text cut into 72-character lines.
TEST(Base64FamilyEncoderTest, LongInputsEncodeAsOpenSslDoes) {
    std::mt19937 random(2045);
    const unsigned int threshold = 3 * 16384;
    for (const unsigned int length : {threshold - 1, threshold, threshold + 1, threshold + 2,
                                      threshold + 6, threshold + 7, (1u << 20) + 1}) {
        SCOPED_TRACE(length);
        const Bytes data = randomBytes(random, length);
        std::string expected(4 * ((length + 2) / 3) + 1, '\0');
        expected.resize(
            static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&expected[0]),
                                                     data.data(), static_cast<int>(length))));
        EXPECT_EQ(expected, zam::base64_encode(data.data(), length, false));

        const std::string lines = zam::base64_encode(data.data(), length, true);
        std::string joined;
        std::size_t at = 0;
        for (std::size_t next; (next = lines.find("\r\n", at)) != std::string::npos;
             at = next + 2) {
            ASSERT_EQ(72u, next - at);
            joined += lines.substr(at, next - at);
        }
        joined += lines.substr(at);
        EXPECT_EQ(expected, joined);
    }
}

// Long texts are decoded through wide tables: around the length where they start, with and without
// line breaks and in both alphabets, the bytes must be the ones encoded (a text that
// LongInputsEncodeAsOpenSslDoes shows to be OpenSSL's), and a character outside the alphabet
// anywhere, or a stray line break, must give what the literal rules give.
TEST(Base64FamilyEncoderTest, LongTextsDecodeAsTheLiteralRulesSay) {
    std::mt19937 random(4096);
    const zam::Encoding* encodings[] = {&zam::Base64Encoding::getInstance(),
                                        &zam::Base64urlEncoding::getInstance()};
    const unsigned int threshold = 3 * (65536 / 4);
    for (const unsigned int length :
         {threshold - 3, threshold - 1, threshold, threshold + 1, threshold + 2, 1u << 20}) {
        SCOPED_TRACE(length);
        const Bytes data = randomBytes(random, length);
        for (const zam::Encoding* encoding : encodings) {
            zam::Base64FamilyEncoder encoder(const_cast<zam::Encoding*>(encoding));
            const std::string& padding = encoding->getEncodedPaddingChars();
            for (const bool lines : {false, true}) {
                const std::string text = encoder.encode(data.data(), length, lines);
                Bytes got = kJunk;
                ASSERT_EQ(0, encoder.decode(text, got));
                ASSERT_EQ(data, Bytes(got.begin() + 4, got.end()));
                if (length > 2 * threshold) {
                    continue;  // the literal rules take long on a mebibyte
                }
                const std::size_t lastGroup = text.size() - 4;
                for (const std::size_t at :
                     {std::size_t{0}, text.size() / 2, lastGroup - 1, lastGroup, text.size() - 1}) {
                    for (const char stray : {'*', '\r'}) {
                        std::string broken = text;
                        broken[at] = stray;
                        Bytes want = kJunk;
                        Bytes have = kJunk;
                        const int expected = sftest::referenceDecode(
                            broken, encoding->getDecodingTable(), padding, want);
                        ASSERT_EQ(expected, encoder.decode(broken, have))
                            << at << " " << static_cast<int>(stray);
                        ASSERT_EQ(want, have) << at;
                    }
                }
            }
        }
    }
}

// --- Building blocks ---------------------------------------------------------------------------

class Base64FamilyStepsTest : public testing::Test {
  protected:
    zam::Base64FamilyEncoder base64{&zam::Base64Encoding::getInstance()};
    zam::Base64FamilyEncoder url{&zam::Base64urlEncoding::getInstance()};
};

// Each row: what a step answered, and what it must answer (true is 1). The rows run in order, so
// the group decodes append to `out` one after another. getPaddingChars counts only the encoded
// spelling of padding ("YWI=" has none for base64url); weakCheckNewLines lets the last line run
// past the period by the width of encoded padding.
TEST_F(Base64FamilyStepsTest, CountsChecksAndGroupDecoding) {
    Bytes out = {9};
    const long rows[][2] = {{base64.getNewLines("YWJj"), 0},
                            {base64.getNewLines("a\r\nb\r\n"), 2},
                            {base64.getNewLines("\r\r\n\n"), 1},
                            {base64.getNewLines("\n\r"), 0},
                            {base64.getPaddingChars("YWJj"), 0},
                            {base64.getPaddingChars("YQ=="), 2},
                            {base64.getPaddingChars("YQ=\r\n=="), 3},
                            {base64.getPaddingChars("YQ==a"), -1},
                            {base64.getPaddingChars("YQ==\r"), -1},
                            {url.getPaddingChars("YQ%3D%3D"), 2},
                            {url.getPaddingChars("YWI="), 0},
                            {url.getPaddingChars("YQ%3D="), -1},
                            {base64.weakCheckNewLines("YWJjYWJj"), 1},
                            {base64.weakCheckNewLines("YWJj\r\nYWJj\r\nYQ=="), 1},
                            {base64.weakCheckNewLines("YWJj\r\nYWJjYW\r\nJj"), 0},
                            {base64.weakCheckNewLines("YW\r\nJj\r\nYQ\r\n=="), 1},
                            {url.weakCheckNewLines("YWJj\r\nYQ%3D%3D"), 1},
                            {base64.weakCheckNewLines("YWJj\r\nYWJjYQ=="), 0},
                            {url.isInsideEncodedPaddingChar("YQ%3D", 2), 1},
                            {url.isInsideEncodedPaddingChar("YQ%3D", 3), 1},
                            {url.isInsideEncodedPaddingChar("YQ%3D", 4), 1},
                            {url.isInsideEncodedPaddingChar("YQ%3D", 1), 0},
                            {url.isInsideEncodedPaddingChar("YQ%3D", 5), 0},
                            {url.isInsideEncodedPaddingChar("YQ%3", 2), 0},
                            {base64.checkCharGroup("+/=A"), 1},
                            {base64.checkCharGroup("A\r"), 0},
                            {url.checkCharGroup("+"), 0},
                            {base64.decodeGroup("YWJj", out), 0},
                            {base64.decodeGroup("YQ==", out), 0},
                            {base64.decodeGroup("YWJ", out), -1},
                            {base64.decodeGroup("YWJjY", out), -1},
                            {base64.decodeGroup("YW-j", out), -1},
                            {url.decodeGroup("YW-j", out), 0}};
    for (std::size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
        EXPECT_EQ(rows[i][1], rows[i][0]) << "row " << i;
    }
    EXPECT_EQ((Bytes{9, 'a', 'b', 'c', 'a', 0, 0, 'a', 'o', 0xA3}), out);
    const std::pair<std::string, std::string> erasures[] = {
        {"YW\r\nJj\r\n", "YWJj"}, {"\r\r\n\n", ""}, {"a\r\r\r\n\n\nb", "ab"},
        {"\n\r", "\n\r"},         {"\r\n\r\n", ""}, {"a\r\r\n\r\n\nb", "ab"},
        {"\r\r\nx\n", "\rx\n"},   {"", ""},
    };
    for (const auto& [text, erased] : erasures) {
        std::string copy = text;
        base64.eraseNewLines(copy);
        EXPECT_EQ(erased, copy) << testing::PrintToString(text);
    }
}

TEST_F(Base64FamilyStepsTest, PaddingRepairs) {
    EXPECT_EQ("YQ==", base64.addMissingPaddingChars("YQ"));
    EXPECT_EQ("YWI=", base64.addMissingPaddingChars("YWI"));
    EXPECT_EQ("YQ==", base64.addMissingPaddingChars("YQ=="));
    EXPECT_EQ("YW\r\nI=", base64.addMissingPaddingChars("YW\r\nI"));
    EXPECT_EQ("YQ%3D%3D", url.addMissingPaddingChars("YQ"));

    std::string text = "YQ====\r\n=";
    EXPECT_EQ(2, base64.removeUnnecessaryEncodedPaddingChars(text, 1, 5));
    EXPECT_EQ("YQ==\r\n", text);
    text = "YQ%3D%3D%3D";
    EXPECT_EQ(2, url.removeUnnecessaryEncodedPaddingChars(text, 0, 3));
    EXPECT_EQ("YQ%3D%3D", text);
    text = "YQ=";
    EXPECT_EQ(-1, base64.removeUnnecessaryEncodedPaddingChars(text, 0, 1));
    text = "YQ==";
    EXPECT_EQ(-2, base64.removeUnnecessaryEncodedPaddingChars(text, 0, 6));  // counts disagree

    text = "YQ%3D%3D";
    url.decodeEndingPaddingChars(text, 2);
    EXPECT_EQ("YQ==", text);
    text = "YQ%3D%3D\r\n";
    url.decodeEndingPaddingChars(text, 2);
    EXPECT_EQ("YQ==\r\n", text);
    text = "YQ==";
    base64.decodeEndingPaddingChars(text, 2);
    EXPECT_EQ("YQ==", text);
}

}  // namespace
