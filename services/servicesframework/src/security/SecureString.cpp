#include <zam/SecureString.h>

#include <zam/Base64.h>
#include <zam/Base64Encoding.h>
#include <zam/SecureStringReader.h>

#include "security/SecureStringKey.h"
#include "security/detail/Base64Codec.h"
#include "security/detail/CipherSteps.h"

#include <openssl/crypto.h>

#include <cstring>
#include <new>
#include <utility>

namespace zam {

namespace {

// An empty string holds no IV and no ciphertext: whatever was there is zeroed and freed.
void clearData(SecureStringData& data) {
    data.empty = true;
    data.encryptedValue.release();
    data.iv.release();
}

// The key for one operation, in a blob that zeroes it when the operation ends.
bool makeKey(ByteBlob& key) {
    if (!key.reallocate(SECURE_STRING_KEY_SIZE)) {
        return false;
    }
    bWV0aG9k(key.data());
    return true;
}

}  // namespace

SecureString::SecureString() : data_(std::make_shared<SecureStringData>()) {}

SecureString::SecureString(const std::string& text) : SecureString() {
    setValue(text.data(), text.size());
}

SecureString::SecureString(const char* text, unsigned long length) : SecureString() {
    setValue(text, length);
}

SecureString::SecureString(const std::vector<unsigned char>& serialised) : SecureString() {
    if (serialised.size() < detail::SECURE_STRING_IV_SIZE) {
        return;
    }
    ByteBlob iv;
    ByteBlob encrypted;
    if (!iv.reallocate(detail::SECURE_STRING_IV_SIZE) ||
        !encrypted.reallocate(serialised.size() - detail::SECURE_STRING_IV_SIZE)) {
        return;
    }
    std::memcpy(iv.data(), serialised.data(), detail::SECURE_STRING_IV_SIZE);
    if (encrypted.size() != 0) {
        std::memcpy(encrypted.data(), serialised.data() + detail::SECURE_STRING_IV_SIZE,
                    encrypted.size());
    }
    data_->iv.swap(iv);
    data_->encryptedValue.swap(encrypted);
    data_->empty = false;
}

SecureString::SecureString(const SecureString& other) = default;

SecureString::SecureString(SecureString&& other) noexcept : data_(std::move(other.data_)) {}

SecureString& SecureString::operator=(const SecureString& other) = default;

SecureString::~SecureString() = default;

SecureString SecureString::createFromBase64(const std::string& text) {
    if (text.empty()) {
        return SecureString();
    }
    std::vector<unsigned char> serialised;
    if (base64_decode(text, serialised) != 0 || serialised.empty()) {
        return SecureString();
    }
    return SecureString(serialised);
}

SecureStringData& SecureString::data() {
    if (!data_) {
        data_ = std::make_shared<SecureStringData>();
    }
    return *data_;
}

void SecureString::setValue(const char* text, unsigned long length) {
    if (text == nullptr) {
        return;
    }
    SecureStringData& state = data();
    if (length == 0) {
        clearData(state);
        return;
    }
    // Built aside and swapped in only when complete: a value that cannot be encrypted under a
    // truly random IV leaves the string empty, never half-written.
    ByteBlob key;
    ByteBlob iv;
    ByteBlob encrypted;
    const bool ok = makeKey(key) && detail::createIv(iv) &&
                    detail::encryptValue(key, iv, reinterpret_cast<const unsigned char*>(text),
                                         length, encrypted);
    if (!ok) {
        clearData(state);
        return;
    }
    state.iv.swap(iv);
    state.encryptedValue.swap(encrypted);
    state.empty = false;
}

std::vector<unsigned char> SecureString::getEncryptedValue() const {
    if (!data_ || data_->empty) {
        return {};
    }
    std::vector<unsigned char> serialised;
    serialised.reserve(data_->iv.size() + data_->encryptedValue.size());
    serialised.insert(serialised.end(), data_->iv.data(), data_->iv.data() + data_->iv.size());
    serialised.insert(serialised.end(), data_->encryptedValue.data(),
                      data_->encryptedValue.data() + data_->encryptedValue.size());
    return serialised;
}

void SecureString::getUnsecureString(SecureStringReader& reader) const {
    if (!data_ || data_->encryptedValue.size() == 0) {
        return;
    }
    ByteBlob key;
    ByteBlob plain;
    if (!makeKey(key) || !detail::decryptValue(key, data_->iv, data_->encryptedValue, plain)) {
        return;
    }
    const auto size = static_cast<std::size_t>(plain.size());
    char* buffer = new (std::nothrow) char[size + 1];
    if (buffer == nullptr) {
        return;
    }
    if (size != 0) {
        std::memcpy(buffer, plain.data(), size);
    }
    buffer[size] = '\0';
    if (!reader.setValue(buffer, size)) {
        // Nothing was decrypted (a value of no bytes); the reader did not take the buffer.
        delete[] buffer;
    }
}

bool SecureString::empty() const {
    return !data_ || data_->empty;
}

std::string SecureString::serializeToBase64() const {
    const std::vector<unsigned char> serialised = getEncryptedValue();
    if (serialised.empty()) {
        return std::string();
    }
    // The 64-bit length path: values of 4 GiB and more serialise whole.
    return detail::encodeBase64Family(Base64Encoding::getInstance(), serialised.data(),
                                      serialised.size(), true, false);
}

bool SecureString::operator==(const SecureString& other) const {
    const bool thisEmpty = empty();
    if (thisEmpty != other.empty()) {
        return false;
    }
    if (thisEmpty) {
        return true;
    }
    SecureStringReader mine;
    SecureStringReader theirs;
    getUnsecureString(mine);
    other.getUnsecureString(theirs);
    if (mine.getBufSize() != theirs.getBufSize()) {
        return false;
    }
    // Every byte is compared, whatever it holds and wherever the first difference is.
    return CRYPTO_memcmp(mine.c_str(), theirs.c_str(), mine.getBufSize()) == 0;
}

bool SecureString::operator!=(const SecureString& other) const {
    return !(*this == other);
}

}  // namespace zam
