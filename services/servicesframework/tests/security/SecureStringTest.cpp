// RAND_set_rand_method is deprecated in OpenSSL 3 but still honoured by RAND_bytes; it is the
// only way to make the real generator fail on demand.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <zam/SecureString.h>

#include <zam/Base64.h>
#include <zam/SecureStringReader.h>

#include "security/ReadBack.h"
#include "security/SecureStringKey.h"
#include "security/detail/CipherSteps.h"
#include "support/ReleasedMemory.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

using sftest::readBack;

Bytes ivOf(const zam::SecureString& secret) {
    const Bytes serialised = secret.getEncryptedValue();
    return Bytes(serialised.begin(),
                 serialised.begin() + std::min<std::size_t>(16, serialised.size()));
}

// The framework's key, and plain AES-256-CBC through EVP as any other program would run it.
Bytes frameworkKey() {
    Bytes key(32);
    zam::bWV0aG9k(key.data());
    return key;
}

Bytes bareCipher(bool encrypt, const Bytes& iv, const Bytes& in) {
    const Bytes key = frameworkKey();
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 32);
    int n1 = 0;
    int n2 = 0;
    const bool ok =
        EVP_CipherInit_ex(context, EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt) ==
            1 &&
        EVP_CipherUpdate(context, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
        EVP_CipherFinal_ex(context, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(context);
    out.resize(ok ? static_cast<std::size_t>(n1 + n2) : 0);
    return out;
}

// Makes RAND_bytes fail for as long as it lives.
class FailingRandom {
  public:
    // The IVs this thread holds from earlier calls are dropped, so that the next IV asks the
    // failing generator.
    FailingRandom() : saved_(RAND_get_rand_method()) {
        RAND_set_rand_method(&failing_);
        zam::detail::discardPooledIvs();
    }
    ~FailingRandom() { RAND_set_rand_method(saved_); }

  private:
    static int fail(unsigned char*, int) { return 0; }
    static int status() { return 0; }
    const RAND_METHOD* saved_;
    RAND_METHOD failing_{nullptr, fail, nullptr, nullptr, fail, status};
};

// Lowers the cipher's chunk size for one test.
class ChunkSize {
  public:
    explicit ChunkSize(std::size_t bytes) { zam::detail::setCipherChunkSize(bytes); }
    ~ChunkSize() { zam::detail::setCipherChunkSize(0); }
};

// n plain bytes: 16 bytes of IV and 16 * (n / 16 + 1) of ciphertext.
TEST(SecureStringTest, SerialisedSizesFollowTheBlockSize) {
    for (unsigned long n = 1; n <= 48; ++n) {
        const std::string value(n, 'k');
        const zam::SecureString secret(value);
        ASSERT_FALSE(secret.empty());
        const std::size_t bytes = 16 + 16 * (n / 16 + 1);
        EXPECT_EQ(bytes, secret.getEncryptedValue().size()) << n;
        EXPECT_EQ((bytes + 2) / 3 * 4, secret.serializeToBase64().size()) << n;
        EXPECT_EQ(value, readBack(secret));
    }
}

TEST(SecureStringTest, ConstructorsKeepEveryByteIncludingNulAndNullChangesNothing) {
    const zam::SecureString none;
    EXPECT_TRUE(none.empty());
    EXPECT_EQ("", none.serializeToBase64());
    EXPECT_TRUE(none.getEncryptedValue().empty());
    EXPECT_EQ("", readBack(none));
    const std::string withNul("ab\0cd\0", 6);
    EXPECT_EQ(withNul, readBack(zam::SecureString(withNul)));
    EXPECT_EQ("ab", readBack(zam::SecureString("abcdef", 2)));
    EXPECT_TRUE(zam::SecureString(nullptr, 4).empty());
    EXPECT_TRUE(zam::SecureString(std::string()).empty());
    zam::SecureString kept("kept");  // a null pointer changes nothing
    const Bytes before = kept.getEncryptedValue();
    kept.setValue(nullptr, 3);
    EXPECT_EQ(before, kept.getEncryptedValue());
}

// The serialised form is IV then plain AES-256-CBC with PKCS#7 padding under the built-in key:
// another program holding the key can read it, and the framework reads what it writes.
TEST(SecureStringTest, SerialisedFormIsIvThenStandardCiphertext) {
    const std::string value = "correct horse battery staple";
    const zam::SecureString secret(value);
    const Bytes serialised = secret.getEncryptedValue();
    const Bytes iv(serialised.begin(), serialised.begin() + 16);
    const Bytes ciphertext(serialised.begin() + 16, serialised.end());
    EXPECT_EQ(Bytes(value.begin(), value.end()), bareCipher(false, iv, ciphertext));

    Bytes foreign = iv;
    const Bytes encrypted = bareCipher(true, iv, Bytes(value.begin(), value.end()));
    foreign.insert(foreign.end(), encrypted.begin(), encrypted.end());
    EXPECT_EQ(value, readBack(zam::SecureString(foreign)));
}

TEST(SecureStringTest, KeyIsBuiltFromPairsEveryTime) {
    EXPECT_EQ(0x0FU, zam::u(0xF0, 0xFF));
    EXPECT_EQ(0U, zam::u(0xAB, 0xAB));
    EXPECT_EQ(0x1234U ^ 0x00FFU, zam::u(0x1234, 0x00FF));
    Bytes first(33, 0x5A);
    Bytes second(33, 0xA5);
    zam::bWV0aG9k(first.data());
    zam::bWV0aG9k(second.data());
    EXPECT_EQ(Bytes(first.begin(), first.begin() + 32), Bytes(second.begin(), second.begin() + 32));
    EXPECT_EQ(0x5A, first[32]);  // exactly 32 bytes written
    EXPECT_EQ(0xA5, second[32]);
    EXPECT_NE(Bytes(32, 0), Bytes(first.begin(), first.begin() + 32));
    zam::bWV0aG9k(nullptr);  // no effect, no crash
}

TEST(SecureStringTest, EverySetValueDrawsAFreshIv) {
    zam::SecureString secret("same value");
    std::set<Bytes> ivs{ivOf(secret)};
    for (int i = 0; i < 63; ++i) {
        secret.setValue("same value", 10);
        ivs.insert(ivOf(secret));
    }
    EXPECT_EQ(64U, ivs.size());
    // Other threads draw from their own IVs, never one that this thread used.
    std::vector<Bytes> fromThreads(4);
    std::vector<std::thread> threads;
    for (Bytes& iv : fromThreads) {
        threads.emplace_back([&iv] { iv = ivOf(zam::SecureString("same value")); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    ivs.insert(fromThreads.begin(), fromThreads.end());
    EXPECT_EQ(68U, ivs.size());
}

// A zero-length value wipes the old IV and ciphertext: nothing can be read back through any handle.
TEST(SecureStringTest, ClearingDiscardsTheStoredCiphertext) {
    zam::SecureString secret("old secret");
    const zam::SecureString copy = secret;
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        secret.setValue("", 0);
        released = probe.released();
    }
    EXPECT_TRUE(secret.empty());
    EXPECT_TRUE(copy.empty());
    EXPECT_TRUE(copy.getEncryptedValue().empty());
    EXPECT_EQ("", secret.serializeToBase64());
    zam::SecureStringReader reader;
    copy.getUnsecureString(reader);
    EXPECT_EQ(0UL, reader.getBufSize());
    // The ciphertext (allocated for 10 + 32 bytes), then the IV.
    EXPECT_EQ("42 16", sftest::sizesOf(released));
    EXPECT_TRUE(secret == zam::SecureString());
}

// A forked child starts with a copy of its parent's memory, IVs fetched for later use included;
// parent and child must still never encrypt under the same IV.
TEST(SecureStringTest, AForkedChildNeverReusesItsParentsIvs) {
    const zam::SecureString before("value");  // leaves IVs fetched for later
    int channel[2];
    ASSERT_EQ(0, pipe(channel));
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const Bytes iv = ivOf(zam::SecureString("value"));
        const bool written =
            write(channel[1], iv.data(), iv.size()) == static_cast<ssize_t>(iv.size());
        _exit(written ? 0 : 1);
    }
    close(channel[1]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Sixteen bytes are below PIPE_BUF, so the child wrote them in one piece.
    Bytes fromChild(16);
    ASSERT_EQ(16, read(channel[0], fromChild.data(), fromChild.size()));
    close(channel[0]);
    const Bytes fromParent = ivOf(zam::SecureString("value"));
    EXPECT_NE(fromParent, fromChild);
    EXPECT_NE(ivOf(before), fromChild);
}

// Without random bytes there is no IV to trust, so no value is kept.
TEST(SecureStringTest, NEGATIVE_FailingRandomGeneratorLeavesTheStringEmpty) {
    zam::SecureString secret("old value");
    const zam::SecureString copy = secret;
    {
        FailingRandom failing;
        unsigned char probe[16];
        ASSERT_NE(1, RAND_bytes(probe, sizeof(probe)));  // the generator really fails
        secret.setValue("new value", 9);
        EXPECT_TRUE(zam::SecureString("fresh").empty());
    }
    EXPECT_TRUE(secret.empty());
    EXPECT_TRUE(copy.empty());
    EXPECT_TRUE(secret.getEncryptedValue().empty());
    EXPECT_EQ("", readBack(secret));
    secret.setValue("works again", 11);
    EXPECT_EQ("works again", readBack(secret));
}

// Values are fed to OpenSSL in chunks; with a small chunk size, a value spans many of them and
// still gives exactly the ciphertext a single pass would.
TEST(SecureStringTest, ValuesSpanningManyChunksRoundTripWhole) {
    std::mt19937 random(31);
    for (const std::size_t chunk : {1, 7, 16, 33, 1000}) {
        const ChunkSize small(chunk);
        ASSERT_EQ(chunk, zam::detail::cipherChunkSize());
        for (const std::size_t length : {1, 15, 16, 17, 100, 1024, 4099}) {
            std::string value(length, '\0');
            for (char& c : value) {
                c = static_cast<char>(random());
            }
            const zam::SecureString secret(value);
            SCOPED_TRACE(std::to_string(chunk) + " / " + std::to_string(length));
            EXPECT_EQ(value, readBack(secret));
            const Bytes serialised = secret.getEncryptedValue();
            const Bytes iv(serialised.begin(), serialised.begin() + 16);
            EXPECT_EQ(Bytes(serialised.begin() + 16, serialised.end()),
                      bareCipher(true, iv, Bytes(value.begin(), value.end())));
        }
    }
    EXPECT_EQ(std::size_t{1} << 30, zam::detail::cipherChunkSize());
}

TEST(SecureStringTest, EqualityComparesWholePlainValues) {
    struct Case {
        std::string a;
        std::string b;
        bool equal;
    };
    const Case cases[] = {
        {"abc", "abc", true},
        {"abc", "abd", false},
        {"abc", "abcd", false},
        {std::string("abc\0x", 5), std::string("abc\0y", 5), false},  // differ behind a NUL
        {std::string("abc\0x", 5), std::string("abc\0x", 5), true},
        {std::string("\0", 1), std::string("\0", 1), true},
        {"", "", true},
        {"", "a", false},
        {"x", "", false},
    };
    for (const Case& c : cases) {
        const zam::SecureString a(c.a);
        const zam::SecureString b(c.b);
        EXPECT_EQ(c.equal, a == b) << testing::PrintToString(c.a) << testing::PrintToString(c.b);
        EXPECT_EQ(!c.equal, a != b);
        EXPECT_EQ(c.equal, b == a);
    }
}

// Restored from the Base64 form of 16 bytes: an IV without ciphertext. Not empty, reads back
// nothing, and equal to any other such string.
TEST(SecureStringTest, IvOnlyStringsReadNothingAndCompareEqual) {
    const Bytes sixteen(16, 0x42);
    const zam::SecureString a =
        zam::SecureString::createFromBase64(zam::base64_encode(sixteen.data(), 16, false));
    const zam::SecureString b(Bytes(16, 0x17));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ("", readBack(a));
    EXPECT_EQ(sixteen, a.getEncryptedValue());
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == zam::SecureString());
    EXPECT_FALSE(a == zam::SecureString("a"));
}

TEST(SecureStringTest, CopiesShareOneValue) {
    zam::SecureString first("one");
    zam::SecureString second = first;
    zam::SecureString third;
    third = second;
    third.setValue("two", 3);
    EXPECT_EQ("two", readBack(first));
    EXPECT_EQ("two", readBack(second));
    first.setValue("three", 5);
    EXPECT_EQ("three", readBack(third));
    EXPECT_EQ(first.getEncryptedValue(), third.getEncryptedValue());

    zam::SecureString moved = std::move(first);
    EXPECT_EQ("three", readBack(moved));
    EXPECT_TRUE(first.empty());  // NOLINT(bugprone-use-after-move): a moved-from string is empty
    first.setValue("own", 3);    // and gets a value of its own again
    EXPECT_EQ("own", readBack(first));
    EXPECT_EQ("three", readBack(second));
}

TEST(SecureStringTest, Base64RestoreOfGoodAndBadText) {
    const zam::SecureString secret("p@ssw0rd");
    const std::string text = secret.serializeToBase64();
    EXPECT_EQ(std::string::npos, text.find_first_of("\r\n"));
    const zam::SecureString restored = zam::SecureString::createFromBase64(text);
    EXPECT_TRUE(restored == secret);
    EXPECT_EQ("p@ssw0rd", readBack(restored));
    EXPECT_EQ(text, restored.serializeToBase64());

    // Which texts restore to an empty string (not Base64, or fewer than 16 bytes) is
    // SecureStringFromBase64Fuzzer's check, on arbitrary text.
    EXPECT_TRUE(zam::SecureString::createFromBase64("YQ").empty());
    // Well-formed Base64 that is not a secure string: restored, but nothing decrypts.
    const Bytes junk(48, 0x33);
    const zam::SecureString foreign =
        zam::SecureString::createFromBase64(zam::base64_encode(junk.data(), 48, true));
    EXPECT_FALSE(foreign.empty());
    zam::SecureStringReader reader(new char[2]{'r', '\0'}, 1);
    foreign.getUnsecureString(reader);
    EXPECT_STREQ("r", reader.c_str());  // left as it was
}

// Ciphertext that decrypts to no bytes at all (a block of padding only): the reader is reset,
// as a reader given no text is, and the temporary buffer is freed (ASan would report it).
TEST(SecureStringTest, CiphertextOfNoBytesEmptiesTheReader) {
    const Bytes iv(16, 0x61);
    Bytes serialised = iv;
    const Bytes padding = bareCipher(true, iv, Bytes());
    ASSERT_EQ(16U, padding.size());
    serialised.insert(serialised.end(), padding.begin(), padding.end());
    const zam::SecureString nothing(serialised);
    EXPECT_FALSE(nothing.empty());
    zam::SecureStringReader reader(new char[4]{'o', 'l', 'd', '\0'}, 3);
    nothing.getUnsecureString(reader);
    EXPECT_EQ(0UL, reader.getBufSize());
    EXPECT_STREQ("", reader.c_str());
    EXPECT_TRUE(nothing == zam::SecureString(Bytes(16, 0x62)));  // both read back nothing
}

// Reading one value from many threads at once (decrypt, serialise, compare).
TEST(SecureStringTest, ConcurrentReadersOfOneValue) {
    const zam::SecureString shared("shared secret");
    const zam::SecureString same("shared secret");
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                const zam::SecureString copy = shared;
                mismatches[t] += readBack(copy) == "shared secret" ? 0 : 1;
                mismatches[t] += copy == same ? 0 : 1;
                mismatches[t] +=
                    zam::SecureString::createFromBase64(shared.serializeToBase64()) == same ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::vector<int>(4, 0), mismatches);
}

// Every array the secure string gives back (key, plain text, IV, ciphertext, reader buffers) is
// zero when it is freed, in the optimised library.
TEST(SecureStringTest, FreedBuffersAreZero) {
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        {
            zam::SecureString secret("attack at dawn");
            const std::string later = "retreat at dusk and regroup later";  // 33 bytes
            secret.setValue(later.data(), later.size());
            zam::SecureStringReader reader;
            secret.getUnsecureString(reader);
            secret.getUnsecureString(reader);  // releases the reader's first text
            const bool same = secret == zam::SecureString(later);
            static_cast<void>(same);
        }
        released = probe.released();
    }
    std::multiset<std::size_t> sizes;
    for (const sftest::ReleasedArray& array : released) {
        EXPECT_TRUE(array.allZero) << array.size;
        sizes.insert(array.size);
    }
    EXPECT_EQ(7U, sizes.count(32));       // a key per encryption and decryption
    EXPECT_EQ(3U, sizes.count(16));       // IVs
    EXPECT_EQ(1U, sizes.count(14 + 32));  // ciphertext arrays: value + 32 bytes
    EXPECT_EQ(2U, sizes.count(33 + 32));
    EXPECT_EQ(4U, sizes.count(48));      // plain text as decrypted: the ciphertext's size
    EXPECT_EQ(4U, sizes.count(33 + 1));  // readers' text and NUL
}

// The probe itself: it does see memory that was not zeroed.
TEST(SecureStringTest, ProbeNoticesMemoryThatIsNotZero) {
    std::vector<sftest::ReleasedArray> released;
    {
        sftest::ReleasedMemoryProbe probe;
        // Direct calls and volatile stores, which the optimiser may not remove as a new-expression
        // and its dead stores could be.
        auto* text = static_cast<volatile char*>(::operator new[](8));
        for (int i = 0; i < 8; ++i) {
            text[i] = 'x';
        }
        ::operator delete[](const_cast<char*>(text));
        released = probe.released();
    }
    EXPECT_EQ("8!", sftest::sizesOf(released));
}

}  // namespace
