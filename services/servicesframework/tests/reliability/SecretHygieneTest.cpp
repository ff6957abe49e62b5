// Plain text of a secret must not outlive its use in freed memory: after a reader, a secure
// string, a discreet encode or decode, and a secure-string argument passed through the
// interpreter have been released, no block the process gave back still holds the secret (or, for
// the discreet encoder, its Base64 text). The binary replaces operator new and delete to search
// every released block (FreedMemoryScanner); the secrets live in static arrays, so the test's own
// copies never reach the heap.
#include "support/ReleasedMemory.h"

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ReflectionHelpers.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ToFormalParameterConversions.h>
#include <zam/Base64.h>
#include <zam/Base64DiscreetEncoder.h>
#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace ZAMUnified;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

// Longer than any short-string buffer, so every std::string copy of it lives on the heap.
const char kSecret[] = "correct horse battery staple 0xC0FFEE";
const unsigned long kSecretSize = sizeof kSecret - 1;
const char kOther[] = "another secret, equally long and dull!";

std::string secretText() {
    return std::string(kSecret, kSecretSize);
}

bool holdsSecret(const zam::SecureString& value) {
    zam::SecureStringReader reader;
    value.getUnsecureString(reader);
    return reader.getBufSize() == kSecretSize &&
           std::memcmp(reader.c_str(), kSecret, kSecretSize) == 0;
}

std::string describe(const std::vector<sftest::FreedSecret>& found) {
    std::string text;
    for (const sftest::FreedSecret& finding : found) {
        text += "pattern " + std::to_string(finding.pattern) + " in a freed block of " +
                std::to_string(finding.size) + " bytes; ";
    }
    return text;
}

// The scanner must see a copy that is released unwiped, or its silence proves nothing.
TEST(SecretHygieneTest, ScannerNoticesAPlainCopyThatIsFreed) {
    sftest::FreedMemoryScanner scanner({secretText()});
    scanner.start();
    { std::string copy(kSecret, kSecretSize); }
    const auto found = scanner.stop();
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(0u, found[0].pattern);
    EXPECT_LE(kSecretSize, found[0].size);
}

TEST(SecretHygieneTest, ReaderAndSecureStringLeaveNoPlainTextBehind) {
    sftest::FreedMemoryScanner scanner({secretText()});
    scanner.start();
    {
        zam::SecureString secure(kSecret, kSecretSize);
        {
            zam::SecureStringReader reader;
            secure.getUnsecureString(reader);
            EXPECT_EQ(kSecretSize, reader.getBufSize());
            EXPECT_EQ(0, std::memcmp(reader.c_str(), kSecret, kSecretSize));
            // Reading into a reader that already holds a value releases the old buffer.
            secure.getUnsecureString(reader);
        }
        zam::SecureString copy = secure;
        zam::SecureString moved = std::move(copy);
        EXPECT_TRUE(moved == secure);
        zam::SecureString restored =
            zam::SecureString::createFromBase64(secure.serializeToBase64());
        EXPECT_TRUE(holdsSecret(restored));
        zam::SecureString other(kOther, sizeof kOther - 1);
        EXPECT_FALSE(other == secure);
        restored = other;
        moved.setValue(kOther, sizeof kOther - 1);
        secure.setValue("", 0);
    }
    const auto found = scanner.stop();
    EXPECT_GT(scanner.blocksSeen(), 5u) << "the operations should have released memory";
    EXPECT_TRUE(found.empty()) << describe(found);
}

TEST(SecretHygieneTest, DiscreetEncodeAndDecodeLeaveNeitherSecretNorItsBase64Behind) {
    const std::string base64 = zam::base64_encode(reinterpret_cast<const unsigned char*>(kSecret),
                                                  static_cast<unsigned int>(kSecretSize), false);
    sftest::FreedMemoryScanner scanner({secretText(), base64});
    scanner.start();
    {
        const zam::SecureString encoded = zam::base64_discreet_encode(
            reinterpret_cast<const unsigned char*>(kSecret), kSecretSize, false);
        const zam::SecureString encodedWithBreaks = zam::base64_discreet_encode(
            reinterpret_cast<const unsigned char*>(kSecret), kSecretSize, true);
        zam::SecureString decoded;
        ASSERT_EQ(0, zam::base64_discreet_decode(encoded, decoded));
        EXPECT_TRUE(holdsSecret(decoded));
        zam::SecureString decodedAgain;
        ASSERT_EQ(0, zam::base64_discreet_decode(encodedWithBreaks, decodedAgain));
        EXPECT_TRUE(decodedAgain == decoded);
    }
    const auto found = scanner.stop();
    EXPECT_TRUE(found.empty()) << describe(found);
}

struct Vault {
    bool unlock(const zam::SecureString& key) { return holdsSecret(key); }
    int countKeys(std::shared_ptr<std::vector<zam::SecureString>> keys) {
        int count = 0;
        for (const zam::SecureString& key : *keys) {
            count += holdsSecret(key) ? 1 : 0;
        }
        return count;
    }
    zam::SecureString getKey() const { return key; }
    void setKey(const zam::SecureString& value) { key = value; }
    zam::SecureString key;
};

// The text front end hands the argument over as a std::string; moved in, that buffer belongs to
// the conversion, which must leave it wiped.
TEST(SecretHygieneTest, SecureStringArgumentThroughTheInterpreterLeavesNoPlainTextBehind) {
    auto vault = std::make_shared<Vault>();
    auto reflector = std::make_shared<ObjectReflector<Vault>>("Vault", vault);
    reflector->method("unlock", &Vault::unlock, {"key"})
        .method("countKeys", &Vault::countKeys, {"keys"})
        .property("Key", &Vault::getKey, &Vault::setKey);
    auto reflectors = std::make_shared<ReflectorMap>();
    (*reflectors)["Vault"] = reflector;
    Interpreter interpreter(reflectors);

    // Calls Vault/<method> with one argument given as text, moved in.
    auto call = [&](const char* method, const char* type, const char* name, std::string text) {
        auto request = std::make_shared<Request>(std::string("Vault/") + method);
        request->addParameterToMethod(
            method, GetFormalParameterFromStrings(type, name, std::move(text), nullptr, nullptr));
        auto result = interpreter.execute(request);
        EXPECT_TRUE(result->isSuccess()) << result->getErrorMessage();
        return result->getResult();
    };

    sftest::FreedMemoryScanner scanner({secretText()});
    scanner.start();
    {
        for (const char* type : {"securestring", "zam::SecureString"}) {
            auto unlocked = std::dynamic_pointer_cast<TypedReturnValue<bool>>(
                call("unlock", type, "key", std::string(kSecret, kSecretSize)));
            ASSERT_TRUE(unlocked);
            EXPECT_TRUE(unlocked->getReturnValue()) << type;
        }
        for (const char* type : {"list(securestring)", "list(zam::SecureString)"}) {
            // One allocation, so the test itself frees no copy of the secret.
            std::string text;
            text.reserve(2 * kSecretSize + 1);
            text.append(kSecret, kSecretSize).append("|").append(kSecret, kSecretSize);
            auto counted = std::dynamic_pointer_cast<TypedReturnValue<int>>(
                call("countKeys", type, "keys", std::move(text)));
            ASSERT_TRUE(counted);
            EXPECT_EQ(2, counted->getReturnValue()) << type;
        }
        call("setKey", "securestring", "Key", std::string(kSecret, kSecretSize));
        EXPECT_TRUE(holdsSecret(vault->key));
        vault->key.setValue("", 0);
    }
    const auto found = scanner.stop();
    EXPECT_TRUE(found.empty()) << describe(found);
}

}  // namespace
