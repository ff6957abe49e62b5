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

// Decodes `text` through the secure-string entry point; the output starts as "untouched", and
// assigning the result to it must leave another handle on that value alone.
std::pair<int, std::string> discreetDecode(const std::string& text) {
    zam::SecureString out("untouched");
    const zam::SecureString other = out;
    const int result = zam::base64_discreet_decode(zam::SecureString(text), out);
    EXPECT_EQ("untouched", readBack(other));
    return {result, readBack(out)};
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
    struct Case {
        unsigned long count;
        bool lineBreaks;
        unsigned long length;
    };
    const Case cases[] = {{0, true, 0},     {1, false, 4},    {3, false, 4},
                          {4, false, 8},    {54, true, 72},   {55, true, 78},
                          {108, true, 146}, {109, true, 152}, {55, false, 76}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.length, encoder.computeEncodedMessageLength(c.count, c.lineBreaks)) << c.count;
    }
    struct Text {
        const char* text;
        unsigned long reserved;
    };
    const Text texts[] = {{"YQ==", 1},     {"YWI=", 2},     {"YWJj", 3}, {"YWJ", 0},
                          {"YQ==\r\n", 3}, {"YW\r\nJj", 3}, {"", 0},     {"\r\n", 0},
                          {"YQ==YWJj", 6}, {"YQ=j", 2},     {"====", 1}};
    for (const Text& t : texts) {
        EXPECT_EQ(t.reserved, encoder.computeDecodedMessageLength(t.text, std::strlen(t.text)))
            << testing::PrintToString(std::string(t.text));
    }
    EXPECT_EQ(0UL, encoder.computeDecodedMessageLength(nullptr, 4));
}

// Breaks stand before a group that starts a new line, so the text never ends with one.
TEST(Base64DiscreetEncoderTest, LineBreaksBeforeGroupsNeverAtTheEnd) {
    const zam::Base64DiscreetEncoder encoder;
    for (const unsigned long count : {54UL, 55UL, 108UL, 160UL}) {
        const std::string bytes(count, 'q');
        std::string text(encoder.computeEncodedMessageLength(count, true) + 1, '#');
        encoder.encode(&text[0], raw(bytes), count, true);
        EXPECT_EQ('#', text.back()) << "wrote past its length";
        text.pop_back();
        EXPECT_NE("\r\n", text.substr(text.size() - 2));
        std::string expected =
            zam::base64_encode(raw(bytes), static_cast<unsigned int>(count), true);
        if (expected.size() >= 2 && expected.substr(expected.size() - 2) == "\r\n") {
            expected.resize(expected.size() - 2);
        }
        EXPECT_EQ(expected, text) << count;
    }
}

TEST(Base64DiscreetEncoderTest, DecodeResults) {
    struct Case {
        const char* text;
        int result;
        const char* data;
    };
    const Case cases[] = {
        {"YWJj", 0, "abc"},
        {"YQ==", 0, "a"},
        {"YW\r\nJ\nj\r", 0, "abc"},  // breaks anywhere are skipped
        {"\r\nYWJj\r\n", 0, "abc"},
        // The reservation exceeds what is decoded; the surplus must not reach the output.
        {"YQ==\r\n", 0, "a"},     // reservation of 3, one byte decoded
        {"YQ==YWJj", 0, "aabc"},  // padding inside shortens that group only
        {"YWJ", -1, ""},
        {"YW-j", -1, ""},  // base64url characters are refused
        {"YW_j", -1, ""},
        {"YW*j", -1, ""},
        {"", -1, ""},  // an empty secure string
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
        const auto [result, data] = discreetDecode(c.text);
        EXPECT_EQ(c.result, result);
        EXPECT_EQ(c.result == 0 ? std::string(c.data) : std::string("untouched"), data);
    }
}

TEST(Base64DiscreetEncoderTest, DecodeWritesGroupsBeforeABadOne) {
    const zam::Base64DiscreetEncoder encoder;
    unsigned char out[6];
    std::memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(-1, encoder.decode(out, "YWJjYW*j", 8));
    EXPECT_EQ(0, std::memcmp("abc", out, 3));
    EXPECT_EQ(0xEE, out[3]);
    EXPECT_EQ(-1, encoder.decode(nullptr, "YWJj", 4));
    EXPECT_EQ(-1, encoder.decode(out, nullptr, 4));
    EXPECT_EQ(-1, encoder.decode(out, "YWJj", 0));
}

TEST(Base64DiscreetEncoderTest, TemporaryBuffersAreZeroWhenFreed) {
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        const std::string secret = "0123456789abcdefghij";  // 20 bytes, 28 characters
        const zam::SecureString text = zam::base64_discreet_encode(raw(secret), 20, false);
        zam::SecureString bytes;
        EXPECT_EQ(0, zam::base64_discreet_decode(text, bytes));
        // With line breaks: 55 bytes, two lines and a break, decoded again.
        const std::string longer = secret + secret + "0123456789abcde";
        EXPECT_EQ(0, zam::base64_discreet_decode(zam::base64_discreet_encode(raw(longer), 55, true),
                                                 bytes));
        EXPECT_EQ(longer, readBack(bytes));
        released = probe.released();
    }
    bool sawText = false;
    bool sawBytes = false;
    bool sawLines = false;
    for (const sftest::ReleasedArray& array : released) {
        EXPECT_TRUE(array.allZero) << array.size;
        sawText = sawText || array.size == 28;    // the encoded characters
        sawBytes = sawBytes || array.size == 20;  // the decoded bytes
        sawLines = sawLines || array.size == 78;  // 55 bytes in two lines
    }
    EXPECT_TRUE(sawText);
    EXPECT_TRUE(sawBytes);
    EXPECT_TRUE(sawLines);
}

}  // namespace
