// RAND_set_rand_method is deprecated in OpenSSL 3 but still honoured by RAND_bytes; it is the
// only way to make the real generator fail on demand.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <zam/SecureString.h>

#include <zam/Base64.h>

#include "security/ReadBack.h"
#include "security/SecureStringKey.h"
#include "security/detail/CipherSteps.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <random>
#include <set>
#include <tuple>

namespace {

using Bytes = std::vector<unsigned char>;
using sftest::readBack;
using namespace std::string_literals;

Bytes ivOf(const zam::SecureString& secret) {
    Bytes iv = secret.getEncryptedValue();
    iv.resize(16);
    return iv;
}

// A string in one line: "empty" or not, the sizes of its serialised bytes and of their Base64
// form, and what it reads back.
std::string stateOf(const zam::SecureString& secret) {
    return (secret.empty() ? "empty "s : ""s) + std::to_string(secret.getEncryptedValue().size()) +
           "/" + std::to_string(secret.serializeToBase64().size()) + " \"" + readBack(secret) + '"';
}

// The IV, then plain AES-256-CBC encryption through EVP under the framework's key, as any other
// program would write them.
Bytes bareEncrypt(const Bytes& iv, const Bytes& in) {
    Bytes key(32), out(iv);
    out.resize(16 + in.size() + 16);
    zam::bWV0aG9k(key.data());
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int n1 = 0, n2 = 0;
    EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key.data(), iv.data());
    EVP_EncryptUpdate(context, &out[16], &n1, in.data(), static_cast<int>(in.size()));
    EVP_EncryptFinal_ex(context, &out[16] + n1, &n2);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<std::size_t>(16 + n1 + n2));
    return out;
}

// An IV and one block of padding: ciphertext that decrypts to no bytes.
const Bytes kPaddingOnly = bareEncrypt(Bytes(16, 0x61), Bytes());

// A generator under which RAND_bytes fails.
const auto fail = [](unsigned char*, int) { return 0; };
RAND_METHOD failingRandom{nullptr, fail, nullptr, nullptr, fail, [] { return 0; }};

// The serialised form is the IV, then plain AES-256-CBC with PKCS#7 padding under the built-in
// key, so another program holding the key can read it; its Base64 form has no line breaks. Values
// are fed to OpenSSL in chunks: one that spans many still gives exactly the single-pass ciphertext.
// The last row sets the chunk size back to its default (0 asks for it).
TEST(SecureStringTest, SerialisedFormIsIvThenStandardCiphertextWhateverTheChunkSize) {
    std::mt19937 random(31);
    for (const std::size_t chunk : {1, 7, 16, 33, 1000, 0}) {
        zam::detail::setCipherChunkSize(chunk);
        EXPECT_EQ(chunk == 0 ? std::size_t{1} << 30 : chunk, zam::detail::cipherChunkSize());
        for (const std::size_t length : {1, 15, 16, 17, 31, 32, 33, 48, 100, 1024, 4099}) {
            std::string value(length, '\0');
            std::generate(value.begin(), value.end(), random);
            const zam::SecureString secret(value);
            SCOPED_TRACE(std::to_string(chunk) + " / " + std::to_string(length));
            EXPECT_EQ(value, readBack(secret));
            const Bytes serialised = secret.getEncryptedValue();
            EXPECT_EQ(serialised, bareEncrypt(ivOf(secret), Bytes(value.begin(), value.end())));
            EXPECT_EQ(zam::base64_encode(serialised.data(), serialised.size(), false),
                      secret.serializeToBase64());
        }
    }
}

// Which texts restore to an empty string (not Base64, or fewer than 16 bytes) and what the others
// keep (an IV without ciphertext too) is SecureStringFromBase64Fuzzer's check, on arbitrary text
// and on seeds such as iv_only.
TEST(SecureStringTest, ConstructorsAndBase64RestoreKeepEveryByteIncludingNulAndNullChangesNothing) {
    const std::string text = zam::SecureString("p@ssw0rd").serializeToBase64();
    const zam::SecureString restored = zam::SecureString::createFromBase64(text);
    EXPECT_EQ(text, restored.serializeToBase64());  // the same bytes, IV included
    const std::vector<std::string> states = {stateOf(zam::SecureString()),
                                             stateOf(zam::SecureString("ab\0cd\0"s)),
                                             stateOf(zam::SecureString("abcdef", 2)),
                                             stateOf(zam::SecureString(nullptr, 4)),
                                             stateOf(zam::SecureString(std::string())),
                                             stateOf(restored),
                                             stateOf(zam::SecureString::createFromBase64("YQ"))};
    EXPECT_EQ((std::vector<std::string>{"empty 0/0 \"\"", "32/44 \"ab\0cd\0\""s, "32/44 \"ab\"",
                                        "empty 0/0 \"\"", "empty 0/0 \"\"", "32/44 \"p@ssw0rd\"",
                                        "empty 0/0 \"\""}),
              states);
    zam::SecureString kept("kept");
    const Bytes before = kept.getEncryptedValue();
    kept.setValue(nullptr, 3);  // a null pointer changes nothing
    EXPECT_EQ(before, kept.getEncryptedValue());
}

// The key's value is deliberately not pinned here; what matters is that every call builds the same
// 32 bytes and that they are not all zero.
TEST(SecureStringTest, KeyIsThirtyTwoBytesTheSameEveryTime) {
    Bytes first(33, 0x5A), second(33, 0xA5);
    zam::bWV0aG9k(first.data());
    zam::bWV0aG9k(second.data());
    EXPECT_EQ(std::make_pair(0x5A, 0xA5), std::make_pair(+first[32], +second[32]));  // 32 written
    EXPECT_EQ(Bytes(first.begin(), first.end() - 1), Bytes(second.begin(), second.end() - 1));
    EXPECT_NE(Bytes(32, 0), Bytes(first.begin(), first.end() - 1));
    zam::bWV0aG9k(nullptr);  // no effect, no crash
}

// A forked child starts with a copy of its parent's memory, IVs fetched for later use included;
// parent and child must still never encrypt under the same IV.
TEST(SecureStringTest, EverySetValueDrawsAFreshIvInThisThreadOthersAndAForkedChild) {
    zam::SecureString secret("same value");
    std::set<Bytes> ivs{ivOf(secret)};
    for (int i = 0; i < 63; ++i) {
        secret.setValue("same value", 10);
        ivs.insert(ivOf(secret));
    }
    EXPECT_EQ(64U, ivs.size());
    // The child is forked while this thread holds IVs fetched for later, and no other thread runs.
    int channel[2];
    ASSERT_EQ(0, pipe(channel));
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const Bytes iv = ivOf(zam::SecureString("value"));
        _exit(write(channel[1], iv.data(), 16) == 16 ? 0 : 1);
    }
    close(channel[1]);
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Sixteen bytes are below PIPE_BUF, so the child wrote them in one piece.
    Bytes fromChild(16);
    ASSERT_EQ(16, read(channel[0], fromChild.data(), fromChild.size()));
    close(channel[0]);
    ivs.insert({fromChild, ivOf(zam::SecureString("value"))});  // the child's, the parent's next
    EXPECT_EQ(66U, ivs.size());
    // Other threads draw from their own IVs, never one that this thread used.
    std::future<Bytes> fromThreads[4];
    for (std::future<Bytes>& iv : fromThreads) {
        iv = std::async(std::launch::async, [] { return ivOf(zam::SecureString("same value"s)); });
    }
    for (std::future<Bytes>& iv : fromThreads) {
        ivs.insert(iv.get());
    }
    EXPECT_EQ(70U, ivs.size());
}

// Without random bytes there is no IV to trust, so no value is kept.
TEST(SecureStringTest, NEGATIVE_FailingRandomGeneratorLeavesTheStringEmpty) {
    zam::SecureString secret("old value");
    const zam::SecureString copy = secret;
    const RAND_METHOD* saved = RAND_get_rand_method();
    RAND_set_rand_method(&failingRandom);
    // The IVs this thread holds from earlier calls are dropped, so that the next IV asks the
    // failing generator.
    zam::detail::discardPooledIvs();
    unsigned char probe[16];
    const bool failing = RAND_bytes(probe, sizeof(probe)) != 1;  // the generator really fails
    secret.setValue("new value", 9);
    const bool freshIsEmpty = zam::SecureString("fresh").empty();
    RAND_set_rand_method(saved);
    EXPECT_TRUE(failing && freshIsEmpty);
    EXPECT_EQ("empty 0/0 \"\" empty 0/0 \"\"", stateOf(secret) + " " + stateOf(copy));
    secret.setValue("works again", 11);
    EXPECT_EQ("works again", readBack(secret));
}

// Plain values compare whole, behind a NUL too. Strings of an IV without ciphertext, or of
// ciphertext that decrypts to no bytes, are not empty, read back nothing and equal each other.
TEST(SecureStringTest, EqualityComparesWholePlainValues) {
    using S = zam::SecureString;
    const S ivOnly(Bytes(16, 0x17));
    const S x0("abc\0x"s);
    // clang-format off
    const std::tuple<S, S, bool> cases[] = {
        {S("abc"s), S("abc"s), true}, {S("abc"s), S("abd"s), false}, {S("abc"s), S("abcd"s), false},
        {x0, S("abc\0y"s), false}, {x0, S("abc\0x"s), true},  // differ behind a NUL, or not
        {S("\0"s), S("\0"s), true}, {S(""s), S(""s), true}, {S(""s), S("a"s), false},
        {S("x"s), S(), false}, {ivOnly, S(Bytes(16, 0x42)), true}, {ivOnly, S(), false},
        {ivOnly, S("a"s), false}, {ivOnly, S(kPaddingOnly), true}};
    // clang-format on
    for (const auto& [a, b, equal] : cases) {
        SCOPED_TRACE(testing::PrintToString(readBack(a)) + " " +
                     testing::PrintToString(readBack(b)));
        EXPECT_EQ(std::make_tuple(equal, !equal, equal), std::make_tuple(a == b, a != b, b == a));
    }
    EXPECT_EQ("32/44 \"\"", stateOf(S(kPaddingOnly)));
}

TEST(SecureStringTest, CopiesShareOneValueAndClearingDiscardsItForAll) {
    zam::SecureString first("one");
    zam::SecureString second = first;
    zam::SecureString third;
    third = second;
    third.setValue("two", 3);
    EXPECT_EQ("two two", readBack(first) + " " + readBack(second));
    first.setValue("old secret", 10);
    EXPECT_EQ("old secret", readBack(third));
    EXPECT_EQ(first.getEncryptedValue(), third.getEncryptedValue());
    // A moved-from string is empty and gets a value of its own again.
    zam::SecureString moved = std::move(first);
    EXPECT_EQ("empty 0/0 \"\"", stateOf(first));  // NOLINT(bugprone-use-after-move)
    first.setValue("own", 3);
    EXPECT_EQ("old secret|own|old secret",
              readBack(moved) + "|" + readBack(first) + "|" + readBack(second));
    // A zero-length value wipes the old IV and ciphertext: nothing can be read back through any
    // handle.
    const auto released = sftest::releasedBy([&] { second.setValue("", 0); });
    EXPECT_EQ("empty 0/0 \"\" empty 0/0 \"\"", stateOf(second) + " " + stateOf(moved));
    // The ciphertext (allocated for 10 + 32 bytes), then the IV.
    EXPECT_EQ("42 16", sftest::sizesOf(released));
}

// Ciphertext that does not decrypt leaves the reader as it was. Ciphertext that decrypts to no
// bytes (a block of padding only) resets it, as a reader given no text is, and the temporary buffer
// is freed (ASan would report it).
TEST(SecureStringTest, NEGATIVE_ReadingNothingLeavesOrResetsTheReader) {
    for (const auto& [serialised, left] :
         {std::pair{Bytes(48, 0x33), "old/3"}, {kPaddingOnly, "/0"}}) {
        zam::SecureStringReader reader(new char[4]{'o', 'l', 'd', '\0'}, 3);
        zam::SecureString(serialised).getUnsecureString(reader);
        EXPECT_EQ(left, sftest::shown(reader));
    }
}

// Reading one value from many threads at once (decrypt, serialise, compare).
TEST(SecureStringTest, ConcurrentReadersOfOneValue) {
    const zam::SecureString shared("shared secret");
    const zam::SecureString same("shared secret");
    std::future<int> mismatches[4];
    for (std::future<int>& count : mismatches) {
        count = std::async(std::launch::async, [&] {
            int n = 0;
            for (int i = 0; i < 100; ++i) {
                const zam::SecureString copy = shared;
                n += readBack(copy) != "shared secret" || copy != same ||
                     zam::SecureString::createFromBase64(shared.serializeToBase64()) != same;
            }
            return n;
        });
    }
    for (std::future<int>& count : mismatches) {
        EXPECT_EQ(0, count.get());
    }
}

// Every array the secure string gives back (key, plain text, IV, ciphertext, reader buffers) is
// zero when it is freed, in the optimised library. The probe itself must see an array that was not
// zeroed, or its silence proves nothing.
TEST(SecureStringTest, FreedBuffersAreZero) {
    auto released = sftest::releasedBy([] {
        // Direct calls and volatile stores, which the optimiser may not remove as a new-expression
        // and its dead stores could be.
        auto* text = static_cast<volatile char*>(::operator new[](8));
        for (int i = 0; i < 8; ++i) {
            text[i] = 'x';
        }
        ::operator delete[](const_cast<char*>(text));
        zam::SecureString secret("attack at dawn");
        const std::string later = "retreat at dusk and regroup later";  // 33 bytes
        secret.setValue(later.data(), later.size());
        zam::SecureStringReader reader;
        secret.getUnsecureString(reader);
        secret.getUnsecureString(reader);  // releases the reader's first text
        static_cast<void>(secret == zam::SecureString(later));
    });
    // Sorted by size: the probe's own array, not zero ("!"); IVs; a key per encryption and
    // decryption; readers' text and NUL; ciphertext arrays (value + 32 bytes); plain text as
    // decrypted (the ciphertext's size).
    std::sort(released.begin(), released.end(), [](auto& a, auto& b) { return a.size < b.size; });
    EXPECT_EQ("8! 16 16 16 32 32 32 32 32 32 32 34 34 34 34 46 48 48 48 48 65 65",
              sftest::sizesOf(released));
}

}  // namespace
