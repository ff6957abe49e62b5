#include <zam/Base64DiscreetEncoder.h>

#include <zam/Base64.h>
#include <zam/SecureStringReader.h>

#include "security/ReadBack.h"
#include "support/ReleasedMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using sftest::readBack;

const unsigned char* raw(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

TEST(Base64DiscreetEncoderTest, EncodesIntoSecureStrings) {
    EXPECT_EQ("YWJj", readBack(zam::base64_discreet_encode(raw("abc"), 3, false)));
    EXPECT_EQ("YWI=", readBack(zam::base64_discreet_encode(raw("ab"), 2, false)));
    EXPECT_EQ("YQ==", readBack(zam::base64_discreet_encode(raw("a"), 1, true)));
    EXPECT_TRUE(zam::base64_discreet_encode(nullptr, 3, false).empty());
    EXPECT_TRUE(zam::base64_discreet_encode(raw("a"), 0, false).empty());
}

TEST(Base64DiscreetEncoderTest, LengthArithmetic) {
    const zam::Base64DiscreetEncoder encoder;
    // clang-format off
    const struct { unsigned long count; bool lineBreaks; unsigned long length; } cases[] = {
        {0, true, 0}, {1, false, 4}, {3, false, 4}, {4, false, 8}, {54, true, 72}, {55, true, 78},
        {108, true, 146}, {109, true, 152}, {55, false, 76}};
    const std::pair<const char*, unsigned long> texts[] = {{"YQ==", 1}, {"YWI=", 2}, {"YWJj", 3},
        {"YWJ", 0}, {"YQ==\r\n", 3}, {"YW\r\nJj", 3}, {"", 0}, {"\r\n", 0}, {"YQ==YWJj", 6},
        {"YQ=j", 2}, {"====", 1}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(c.length, encoder.computeEncodedMessageLength(c.count, c.lineBreaks)) << c.count;
    }
    for (const auto& [text, reserved] : texts) {
        EXPECT_EQ(reserved, encoder.computeDecodedMessageLength(text, std::strlen(text)))
            << testing::PrintToString(std::string(text));
    }
    EXPECT_EQ(0UL, encoder.computeDecodedMessageLength(nullptr, 4));
}

// Breaks stand before a group that starts a new line, so the text never ends with one; nothing is
// written past the computed length.
TEST(Base64DiscreetEncoderTest, LineBreaksBeforeGroupsNeverAtTheEnd) {
    const zam::Base64DiscreetEncoder encoder;
    for (const unsigned int count : {54U, 55U, 108U, 160U}) {
        const std::string bytes(count, 'q');
        std::string text(encoder.computeEncodedMessageLength(count, true) + 1, '#');
        encoder.encode(&text[0], raw(bytes), count, true);
        std::string expected = zam::base64_encode(raw(bytes), count, true);
        if (expected.compare(expected.size() - 2, 2, "\r\n") == 0) {
            expected.resize(expected.size() - 2);
        }
        EXPECT_EQ(expected + "#", text) << count;
    }
}

TEST(Base64DiscreetEncoderTest, DecodeResults) {
    // clang-format off
    const struct { const char* text; int result; const char* data; } cases[] = {
        {"YWJj", 0, "abc"}, {"YQ==", 0, "a"},
        {"YW\r\nJ\nj\r", 0, "abc"}, {"\r\nYWJj\r\n", 0, "abc"},  // breaks anywhere are skipped
        // The reservation exceeds what is decoded; the surplus must not reach the output.
        {"YQ==\r\n", 0, "a"},  // reservation of 3, one byte decoded
        {"YQ==YWJj", 0, "aabc"},  // padding inside shortens that group only
        {"YWJ", -1, ""}, {"YW-j", -1, ""}, {"YW_j", -1, ""},  // base64url characters are refused
        {"YW*j", -1, ""}, {"", -1, ""}};  // an empty secure string
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        // The output starts as "untouched"; assigning the result to it must leave another handle
        // on that value alone.
        zam::SecureString out("untouched");
        const zam::SecureString other = out;
        EXPECT_EQ(c.result, zam::base64_discreet_decode(zam::SecureString(c.text), out));
        EXPECT_EQ(c.result == 0 ? c.data : "untouched", readBack(out));
        EXPECT_EQ("untouched", readBack(other));
    }
}

TEST(Base64DiscreetEncoderTest, DecodeWritesGroupsBeforeABadOne) {
    const zam::Base64DiscreetEncoder encoder;
    unsigned char out[6];
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(-1, encoder.decode(out, "YWJjYW*j", 8));
    EXPECT_EQ((Bytes{'a', 'b', 'c', 0xEE, 0xEE, 0xEE}), Bytes(out, out + 6));
    EXPECT_EQ((std::vector<int>{-1, -1, -1}),
              (std::vector<int>{encoder.decode(nullptr, "YWJj", 4), encoder.decode(out, nullptr, 4),
                                encoder.decode(out, "YWJj", 0)}));
}

TEST(Base64DiscreetEncoderTest, TemporaryBuffersAreZeroWhenFreed) {
    const auto released = sftest::releasedBy([] {
        const std::string secret = "0123456789abcdefghij";  // 20 bytes, 28 characters
        const zam::SecureString text = zam::base64_discreet_encode(raw(secret), 20, false);
        zam::SecureString bytes;
        EXPECT_EQ(0, zam::base64_discreet_decode(text, bytes));
        // With line breaks: 55 bytes, two lines and a break, decoded again.
        const std::string longer = secret + secret + "0123456789abcde";
        EXPECT_EQ(0, zam::base64_discreet_decode(zam::base64_discreet_encode(raw(longer), 55, true),
                                                 bytes));
        EXPECT_EQ(longer, readBack(bytes));
    });
    // None marked "!"; among them the encoded characters (28), the decoded bytes (20) and 55 bytes
    // in two lines (78).
    const std::string sizes = " " + sftest::sizesOf(released) + " ";
    EXPECT_EQ(std::string::npos, sizes.find('!')) << sizes;
    for (const char* size : {" 28 ", " 20 ", " 78 "}) {
        EXPECT_NE(std::string::npos, sizes.find(size)) << size << "in" << sizes;
    }
}

}  // namespace
