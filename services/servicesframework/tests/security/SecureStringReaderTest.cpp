#include <zam/SecureStringReader.h>

#include <zam/ByteBlob.h>
#include <zam/SecureStringUtils.h>

#include "security/ReadBack.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<unsigned char>;
using sftest::shown;

char* copyOf(const char* text) {
    return std::strcpy(new char[std::strlen(text) + 1], text);
}

TEST(SecureStringReaderTest, TakesOwnershipAndZeroesWhatItReleases) {
    EXPECT_EQ("6 8", sftest::sizesOf(sftest::releasedBy([] {
                  zam::SecureStringReader reader(copyOf("first"), 5);
                  EXPECT_EQ("first/5", shown(reader));
                  EXPECT_TRUE(reader.setValue(copyOf("second!"), 7));
                  EXPECT_EQ("second!/7", shown(reader));
              })));
}

// Handed back its own buffer, a reader only changes the size.
TEST(SecureStringReaderTest, NEGATIVE_NullOrZeroSizeLeavesTheReaderEmptyItsOwnBufferResizes) {
    zam::SecureStringReader reader(copyOf("abcdef"), 6);
    const char* own = reader.c_str();
    EXPECT_TRUE(reader.setValue(own, 3));
    EXPECT_EQ(std::make_pair(own, 3UL), std::make_pair(reader.c_str(), reader.getBufSize()));
    EXPECT_FALSE(reader.setValue(own, 0));
    EXPECT_EQ("/0", shown(reader));
    EXPECT_TRUE(reader.setValue(copyOf("abc"), 3));
    EXPECT_FALSE(reader.setValue(nullptr, 3));
    EXPECT_EQ("/0", shown(reader));
    char* kept = copyOf("xyz");
    EXPECT_FALSE(reader.setValue(kept, 0));
    EXPECT_EQ("/0", shown(reader));
    EXPECT_STREQ("xyz", kept);  // still the caller's
    delete[] kept;
    EXPECT_EQ("/0 /0",
              shown(zam::SecureStringReader(nullptr, 9)) + " " + shown(zam::SecureStringReader()));
}

TEST(SecureStringReaderTest, DataDestroyZeroesAndForgets) {
    zam::SecureStringReaderData data{copyOf("secret"), 6};
    EXPECT_EQ("7", sftest::sizesOf(sftest::releasedBy([&] { data.destroy(); })));
    EXPECT_TRUE(data.buffer == nullptr && data.size == 0);
    data.size = 4;
    data.destroy();  // no buffer: only the size is reset
    EXPECT_EQ(0UL, data.size);
}

Bytes bytesOf(const zam::ByteBlob& blob) {
    return blob.data() == nullptr ? Bytes() : Bytes(blob.data(), blob.data() + blob.size());
}

TEST(ByteBlobTest, NewArraysAreFilledWithFFAnImpossibleSizeEmptiesTheBlobSwapExchanges) {
    zam::ByteBlob blob(5);
    EXPECT_EQ(Bytes(5, 0xFF), bytesOf(blob));
    ASSERT_TRUE(blob.reallocate(3));
    EXPECT_EQ(Bytes(3, 0xFF), bytesOf(blob));
    EXPECT_FALSE(blob.reallocate(~std::uint64_t{0}));
    EXPECT_TRUE(blob.data() == nullptr && blob.size() == 0);
    zam::ByteBlob two(2);
    unsigned char* array = two.data();
    two.swap(blob);
    EXPECT_EQ(nullptr, two.data());
    EXPECT_EQ(std::make_pair(array, std::uint64_t{2}), std::make_pair(blob.data(), blob.size()));
    ASSERT_TRUE(blob.reallocate(0));
    EXPECT_TRUE(blob.data() == nullptr && blob.size() == 0);
}

TEST(ByteBlobTest, ShrinkZeroesWhatItGivesUpAndReleaseZeroesTheRest) {
    EXPECT_EQ("8 4", sftest::sizesOf(sftest::releasedBy([] {
                  zam::ByteBlob blob(8);
                  std::memset(blob.data(), 0x77, 8);
                  blob.shrink(3);
                  EXPECT_EQ((Bytes{0x77, 0x77, 0x77, 0, 0, 0, 0, 0}),
                            Bytes(blob.data(), blob.data() + 8));
                  blob.shrink(5);  // never grows
                  EXPECT_EQ(3U, blob.size());
                  ASSERT_TRUE(blob.reallocate(4));  // the old array goes
                  std::memset(blob.data(), 0x55, 4);
                  blob.release();
                  EXPECT_EQ(nullptr, blob.data());
              })));
}

// What `zero` leaves in the storage of `text`, when it leaves `text` empty and in the same storage
// (clear() keeps it, so what it held can be inspected); "X" otherwise.
template <typename Text, typename Zero>
Text zeroed(Text text, Zero zero) {
    const auto* characters = text.data();
    const std::size_t length = text.size();
    zero(text);
    return text.empty() && characters == text.data() ? Text(characters, length) : Text(1, 'X');
}

TEST(SecureStringUtilsTest, GuaranteedMemsetStoresEveryByteAndZeroStringWipesWhatItHeld) {
    unsigned char bytes[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    zam::guaranteed_memset(bytes + 2, 0xAB, 5);
    zam::guaranteed_memset(nullptr, 0, 5);  // no effect
    zam::guaranteed_memset(bytes, 0, 0);
    EXPECT_EQ((Bytes{1, 1, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 1, 1, 1}), Bytes(bytes, bytes + 10));
    zam::SecureStringUtils::ZAMZeroMemory(static_cast<const void*>(bytes), 4);
    zam::SecureStringUtils::ZAMZeroMemory(reinterpret_cast<const char*>(bytes) + 4, 6);
    EXPECT_EQ(Bytes(10, 0), Bytes(bytes, bytes + 10));
    for (const std::size_t length : {0, 5, 100}) {  // empty, short and on the heap
        EXPECT_EQ(std::string(length, '\0'),
                  zeroed(std::string(length, 's'), zam::SecureStringUtils::ZAMZeroString));
    }
    EXPECT_EQ(std::wstring(40, L'\0'),
              zeroed(std::wstring(40, L'w'), zam::SecureStringUtils::ZAMZeroWstring));
}

}  // namespace
