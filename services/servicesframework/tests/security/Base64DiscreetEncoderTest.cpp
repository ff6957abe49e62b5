#include <zam/Base64DiscreetEncoder.h>

#include <zam/Base64.h>

#include "security/ReadBack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using Bytes = std::vector<unsigned char>;
using sftest::readBack;

const unsigned char* raw(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Through the encoder and through the secure-string entry point: the text base64_encode writes,
// except that a line break stands before a group that starts a new line, so the text never ends
// with one; computeEncodedMessageLength() characters exactly, nothing written past them.
TEST(Base64DiscreetEncoderTest, EncodesAsBase64WithBreaksBeforeGroupsNeverAtTheEnd) {
    const zam::Base64DiscreetEncoder encoder;
    for (const unsigned int count : {0U, 1U, 2U, 3U, 4U, 54U, 55U, 108U, 109U, 160U}) {
        std::string bytes(count, '\0');
        std::generate(bytes.begin(), bytes.end(), [n = 0]() mutable { return char(37 * n++); });
        for (const bool lineBreaks : {false, true}) {
            SCOPED_TRACE(std::to_string(count) + (lineBreaks ? " with" : " without"));
            std::string expected = zam::base64_encode(raw(bytes), count, lineBreaks);
            expected.erase(expected.find_last_not_of("\r\n") + 1);  // npos + 1: all of it
            std::string text(encoder.computeEncodedMessageLength(count, lineBreaks) + 1, '#');
            encoder.encode(&text[0], raw(bytes), count, lineBreaks);
            EXPECT_EQ(expected + "#", text);
            const zam::SecureString secure =
                zam::base64_discreet_encode(raw(bytes), count, lineBreaks);
            EXPECT_EQ(std::make_pair(count == 0, expected),
                      std::make_pair(secure.empty(), readBack(secure)));
        }
    }
    EXPECT_TRUE(zam::base64_discreet_encode(nullptr, 3, false).empty());
}

// Three bytes reserved per group of four characters, line breaks skipped.
TEST(Base64DiscreetEncoderTest, DecodedLengthToReserveAndGroupsWrittenBeforeABadOne) {
    const zam::Base64DiscreetEncoder encoder;
    // clang-format off
    const std::pair<const char*, unsigned long> texts[] = {{"YQ==", 1}, {"YWI=", 2}, {"YWJj", 3},
        {"YWJ", 0}, {"YQ==\r\n", 3}, {"YW\r\nJj", 3}, {"", 0}, {"\r\n", 0}, {"YQ==YWJj", 6},
        {"YQ=j", 2}, {"====", 1}};
    // clang-format on
    for (const auto& [text, reserved] : texts) {
        EXPECT_EQ(reserved, encoder.computeDecodedMessageLength(text, std::strlen(text)))
            << testing::PrintToString(std::string(text));
    }
    EXPECT_EQ(0UL, encoder.computeDecodedMessageLength(nullptr, 4));
    // Decoding writes the groups before a bad one.
    unsigned char out[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(-1, encoder.decode(out, "YWJjYW*j", 8));
    EXPECT_EQ((Bytes{'a', 'b', 'c', 0xEE, 0xEE, 0xEE}), Bytes(out, out + 6));
    EXPECT_EQ((std::vector<int>{-1, -1, -1}),
              (std::vector<int>{encoder.decode(nullptr, "YWJj", 4), encoder.decode(out, nullptr, 4),
                                encoder.decode(out, "YWJj", 0)}));
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
