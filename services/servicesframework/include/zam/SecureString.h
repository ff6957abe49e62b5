// zam::SecureString: a secret kept encrypted in memory (AES-256-CBC, built-in key, a fresh random
// IV per value); the plain text comes out only into a zam::SecureStringReader. Copies are handles
// to one shared value.
// Threading: no locks; any number of threads may read one value at once, but setValue() must not
// overlap any other use of the value through any handle.
// Failure: nothing throws or logs; what cannot be encrypted leaves the string empty.
#ifndef ZAM_SECURESTRING_H
#define ZAM_SECURESTRING_H

#include <zam/ByteBlob.h>

#include <memory>
#include <string>
#include <vector>

namespace zam {

class SecureStringReader;

// The state that all handles of one secure string share. While `empty` is set, the IV and the
// ciphertext hold no bytes. Destruction zeroes the ciphertext, then the IV.
class SecureStringData {
  public:
    bool empty = true;
    ByteBlob iv;              // 16 bytes once a value is held
    ByteBlob encryptedValue;  // AES-256-CBC ciphertext, 16 * (n / 16 + 1) bytes for n plain bytes
};

class SecureString {
  public:
    SecureString();
    // Holds all text.length() bytes, NUL characters included.
    explicit SecureString(const std::string& text);
    SecureString(const char* text, unsigned long length);
    // Restores a string from its serialised bytes: 16 bytes of IV, then the ciphertext. Fewer
    // than 16 bytes give an empty string.
    explicit SecureString(const std::vector<unsigned char>& serialised);

    // Copies share the value; a move hands it over and leaves the source empty.
    SecureString(const SecureString& other);
    SecureString(SecureString&& other) noexcept;
    SecureString& operator=(const SecureString& other);
    ~SecureString();

    // Restores a string from serializeToBase64() text. Empty, malformed or too short text gives
    // an empty string.
    static SecureString createFromBase64(const std::string& text);

    // Replaces the value for every handle. A null pointer changes nothing. A length of 0 empties
    // the string and wipes the old IV and ciphertext. If no random IV can be had, or encryption
    // fails, the string is left empty.
    void setValue(const char* text, unsigned long length);

    // The serialised bytes (IV, then ciphertext); empty for an empty string.
    std::vector<unsigned char> getEncryptedValue() const;

    // Decrypts into `reader`. The reader is left as it was when there is no ciphertext or it
    // does not decrypt (corrupt or foreign data).
    void getUnsecureString(SecureStringReader& reader) const;

    bool empty() const;

    // The serialised bytes as Base64 text (RFC 4648 alphabet, "=" padding, no line breaks); ""
    // for an empty string.
    std::string serializeToBase64() const;

    // Compares the plain values over their whole length, in time that does not depend on where
    // they differ. Two empty strings are equal; an empty and a non-empty one are not.
    bool operator==(const SecureString& other) const;
    bool operator!=(const SecureString& other) const;

  private:
    SecureStringData& data();

    std::shared_ptr<SecureStringData> data_;  // null only after a move
};

}  // namespace zam

#endif  // ZAM_SECURESTRING_H
