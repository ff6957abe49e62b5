// Plain text of a secret must not outlive its use in freed memory: after a secure-string argument
// has passed through the interpreter, no block the process gave back still holds the secret. The
// binary replaces operator new and delete to search every released block (support/ReleasedMemory),
// plain blocks as well as arrays, since the text front end hands the secret over in a std::string;
// the secrets live in static arrays, so the test's own copies never reach the heap. The arrays
// that the secure string, its reader and the discreet encoder free are checked for zeros in
// security_tests (SecureStringTest.FreedBuffersAreZero,
// Base64DiscreetEncoderTest.TemporaryBuffersAreZeroWhenFreed).
#include "support/ReleasedMemory.h"

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ReflectionHelpers.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ToFormalParameterConversions.h>
#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace ZAMUnified;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

// Longer than any short-string buffer, so every std::string copy of it lives on the heap.
const char kSecret[] = "correct horse battery staple 0xC0FFEE";
const unsigned long kSecretSize = sizeof kSecret - 1;

bool holdsSecret(const zam::SecureString& value) {
    zam::SecureStringReader reader;
    value.getUnsecureString(reader);
    return reader.getBufSize() == kSecretSize &&
           std::memcmp(reader.c_str(), kSecret, kSecretSize) == 0;
}

struct Vault {
    bool unlock(const zam::SecureString& key) { return holdsSecret(key); }
    int countKeys(std::shared_ptr<std::vector<zam::SecureString>> keys) {
        return static_cast<int>(std::count_if(keys->begin(), keys->end(), holdsSecret));
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
    Interpreter interpreter(std::make_shared<ReflectorMap>(ReflectorMap{{"Vault", reflector}}));

    // Calls Vault/<method> with one argument given as text, moved in.
    auto call = [&](const char* method, const char* type, const char* name, std::string text) {
        auto request = std::make_shared<Request>(std::string("Vault/") + method);
        request->addParameterToMethod(
            method, GetFormalParameterFromStrings(type, name, std::move(text), nullptr, nullptr));
        auto result = interpreter.execute(request);
        EXPECT_TRUE(result->isSuccess()) << result->getErrorMessage();
        return result->getResult();
    };

    sftest::FreedMemoryScanner scanner(std::string(kSecret, kSecretSize));
    scanner.start();
    // The scanner must see a copy that is released unwiped, or its silence proves nothing.
    { std::string copy(kSecret, kSecretSize); }
    for (const char* type : {"securestring", "zam::SecureString"}) {
        auto unlocked = std::dynamic_pointer_cast<TypedReturnValue<bool>>(
            call("unlock", type, "key", std::string(kSecret, kSecretSize)));
        EXPECT_TRUE(unlocked && unlocked->getReturnValue()) << type;
    }
    for (const char* type : {"list(securestring)", "list(zam::SecureString)"}) {
        // One allocation, so the test itself frees no copy of the secret.
        std::string text;
        text.reserve(2 * kSecretSize + 1);
        text.append(kSecret, kSecretSize).append("|").append(kSecret, kSecretSize);
        auto counted = std::dynamic_pointer_cast<TypedReturnValue<int>>(
            call("countKeys", type, "keys", std::move(text)));
        EXPECT_EQ(2, counted ? counted->getReturnValue() : -1) << type;
    }
    call("setKey", "securestring", "Key", std::string(kSecret, kSecretSize));
    EXPECT_TRUE(holdsSecret(vault->key));
    vault->key.setValue("", 0);
    // That copy alone, and no block the interpreter released.
    const std::vector<std::size_t> found = scanner.stop();
    EXPECT_TRUE(found.size() == 1 && found[0] >= kSecretSize)
        << "sizes of blocks that held it: " << testing::PrintToString(found);
}

}  // namespace
