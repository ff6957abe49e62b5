#include <zam/SecureStringReader.h>

#include <zam/ByteBlob.h>
#include <zam/SecureStringUtils.h>

#include "support/ReleasedMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

char* copyOf(const char* text) {
    const std::size_t length = std::strlen(text);
    char* buffer = new char[length + 1];
    std::memcpy(buffer, text, length + 1);
    return buffer;
}

TEST(SecureStringReaderTest, TakesOwnershipAndZeroesWhatItReleases) {
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        {
            zam::SecureStringReader reader(copyOf("first"), 5);
            EXPECT_STREQ("first", reader.c_str());
            EXPECT_TRUE(reader.setValue(copyOf("second!"), 7));
            EXPECT_STREQ("second!", reader.c_str());
            EXPECT_EQ(7UL, reader.getBufSize());
        }
        released = probe.released();
    }
    EXPECT_EQ("6 8", sftest::sizesOf(released));
}

TEST(SecureStringReaderTest, NEGATIVE_NullOrZeroSizeLeavesTheReaderEmpty) {
    zam::SecureStringReader reader(copyOf("abc"), 3);
    EXPECT_FALSE(reader.setValue(nullptr, 3));
    EXPECT_STREQ("", reader.c_str());
    EXPECT_EQ(0UL, reader.getBufSize());

    char* kept = copyOf("xyz");
    EXPECT_FALSE(reader.setValue(kept, 0));
    EXPECT_STREQ("", reader.c_str());
    EXPECT_STREQ("xyz", kept);  // still the caller's
    delete[] kept;

    const zam::SecureStringReader unowned(nullptr, 9);
    EXPECT_EQ(0UL, unowned.getBufSize());
    EXPECT_STREQ("", unowned.c_str());
    EXPECT_STREQ("", zam::SecureStringReader().c_str());
    EXPECT_EQ(0UL, zam::SecureStringReader().getBufSize());
}

TEST(SecureStringReaderTest, HandingBackItsOwnBufferOnlyChangesTheSize) {
    zam::SecureStringReader reader(copyOf("abcdef"), 6);
    const char* own = reader.c_str();
    EXPECT_TRUE(reader.setValue(own, 3));
    EXPECT_EQ(3UL, reader.getBufSize());
    EXPECT_EQ(own, reader.c_str());
    EXPECT_FALSE(reader.setValue(own, 0));
    EXPECT_STREQ("", reader.c_str());
}

TEST(SecureStringReaderTest, DataDestroyZeroesAndForgets) {
    zam::SecureStringReaderData data;
    data.buffer = copyOf("secret");
    data.size = 6;
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        data.destroy();
        released = probe.released();
    }
    EXPECT_EQ(nullptr, data.buffer);
    EXPECT_EQ(0UL, data.size);
    EXPECT_EQ("7", sftest::sizesOf(released));
    data.size = 4;
    data.destroy();  // no buffer: only the size is reset
    EXPECT_EQ(0UL, data.size);
}

TEST(ByteBlobTest, NewArraysAreFilledWithFFAndSwapExchangesThem) {
    zam::ByteBlob blob(5);
    ASSERT_NE(nullptr, blob.data());
    EXPECT_EQ(5U, blob.size());
    EXPECT_EQ(std::vector<unsigned char>(5, 0xFF),
              std::vector<unsigned char>(blob.data(), blob.data() + 5));
    ASSERT_TRUE(blob.reallocate(3));
    EXPECT_EQ(3U, blob.size());
    EXPECT_EQ(0xFF, blob.data()[2]);
    ASSERT_TRUE(blob.reallocate(0));
    EXPECT_EQ(nullptr, blob.data());
    EXPECT_EQ(0U, blob.size());
    zam::ByteBlob two(2);
    const unsigned char* array = two.data();
    two.swap(blob);
    EXPECT_EQ(nullptr, two.data());
    EXPECT_EQ(array, blob.data());
    EXPECT_EQ(2U, blob.size());
}

TEST(ByteBlobTest, ShrinkZeroesWhatItGivesUpAndReleaseZeroesTheRest) {
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        zam::ByteBlob blob(8);
        std::memset(blob.data(), 0x77, 8);
        blob.shrink(3);
        EXPECT_EQ(3U, blob.size());
        EXPECT_EQ(0x77, blob.data()[2]);
        EXPECT_EQ(0, blob.data()[3]);
        EXPECT_EQ(0, blob.data()[7]);
        blob.shrink(5);  // never grows
        EXPECT_EQ(3U, blob.size());
        ASSERT_TRUE(blob.reallocate(4));  // the old array goes
        std::memset(blob.data(), 0x55, 4);
        blob.release();
        EXPECT_EQ(nullptr, blob.data());
        released = probe.released();
    }
    EXPECT_EQ("8 4", sftest::sizesOf(released));
}

TEST(ByteBlobTest, NEGATIVE_ImpossibleSizeLeavesTheBlobEmpty) {
    zam::ByteBlob blob(4);
    EXPECT_FALSE(blob.reallocate(~std::uint64_t{0}));
    EXPECT_EQ(nullptr, blob.data());
    EXPECT_EQ(0U, blob.size());
}

TEST(SecureStringUtilsTest, GuaranteedMemsetStoresEveryByte) {
    unsigned char bytes[10];
    std::memset(bytes, 1, sizeof(bytes));
    zam::guaranteed_memset(bytes + 2, 0xAB, 5);
    const unsigned char expected[10] = {1, 1, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 1, 1, 1};
    EXPECT_EQ(0, std::memcmp(expected, bytes, sizeof(bytes)));
    zam::guaranteed_memset(nullptr, 0, 5);  // no effect
    zam::guaranteed_memset(bytes, 0, 0);
    EXPECT_EQ(1, bytes[0]);
    zam::SecureStringUtils::ZAMZeroMemory(static_cast<const void*>(bytes), 4);
    zam::SecureStringUtils::ZAMZeroMemory(reinterpret_cast<const char*>(bytes) + 4, 6);
    EXPECT_EQ(std::vector<unsigned char>(10, 0), std::vector<unsigned char>(bytes, bytes + 10));
}

TEST(SecureStringUtilsTest, ZeroStringWipesTheCharactersItHeld) {
    for (const std::size_t length : {std::size_t{5}, std::size_t{100}}) {  // short and heap
        std::string text(length, 's');
        const char* characters = text.data();
        zam::SecureStringUtils::ZAMZeroString(text);
        EXPECT_TRUE(text.empty());
        ASSERT_EQ(characters, text.data());  // clear() keeps the storage, so it can be inspected
        EXPECT_EQ(std::string(length, '\0'), std::string(characters, length));
    }
    std::wstring wide(40, L'w');
    const wchar_t* wideCharacters = wide.data();
    zam::SecureStringUtils::ZAMZeroWstring(wide);
    EXPECT_TRUE(wide.empty());
    ASSERT_EQ(wideCharacters, wide.data());
    EXPECT_EQ(std::wstring(40, L'\0'), std::wstring(wideCharacters, 40));
    std::string empty;
    zam::SecureStringUtils::ZAMZeroString(empty);
    EXPECT_TRUE(empty.empty());
}

}  // namespace
