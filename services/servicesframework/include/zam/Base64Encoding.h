// zam::Base64Encoding: the standard Base64 alphabet of RFC 4648 section 4 (Table 1: "+" is 62,
// "/" is 63) with "=" as padding, in both its encoded and its decoded form.
//
// Threading: a process-wide singleton built on the first getInstance() call (thread-safe) and
// destroyed at process exit; it holds constant data only, so any thread may use it.
// Failure: nothing here fails or throws.
#ifndef ZAM_BASE64ENCODING_H
#define ZAM_BASE64ENCODING_H

#include <zam/Encoding.h>

#include <string>

namespace zam {

class Base64Encoding final : public Encoding {
  public:
    static Base64Encoding& getInstance();

    // The 64-character alphabet, followed by a NUL.
    static const char* const ENCODE_TABLE;
    // Inverse of the alphabet; "=" maps to 0, every other byte to 255.
    static const unsigned char DECODE_TABLE[256];

    Base64Encoding(const Base64Encoding&) = delete;
    Base64Encoding& operator=(const Base64Encoding&) = delete;

    const char* getEncodingTable() const override;
    const unsigned char* getDecodingTable() const override;
    const std::string& getEncodedPaddingChars() const override;
    // The same string object as getEncodedPaddingChars().
    const std::string& getDecodedPaddingChars() const override;
    bool isPaddingCharEncoded() const override;

  private:
    Base64Encoding();
    ~Base64Encoding() override;

    const std::string padding_;
};

}  // namespace zam

#endif  // ZAM_BASE64ENCODING_H
