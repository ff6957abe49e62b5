// zam::Base64urlEncoding: the URL- and file-name-safe alphabet of RFC 4648 section 5 (Table 2: "-"
// is 62, "_" is 63). Its padding is written "%3D", the URL-escaped form of "=", so that the text
// can stand in a URL unescaped; decoders take "=" as padding too, as RFC 4648 allows.
//
// Threading: a process-wide singleton built on the first getInstance() call (thread-safe) and
// destroyed at process exit; it holds constant data only. Failure: nothing here fails or throws.
#ifndef ZAM_BASE64URLENCODING_H
#define ZAM_BASE64URLENCODING_H

#include <zam/Encoding.h>

#include <string>

namespace zam {

class Base64urlEncoding final : public Encoding {
  public:
    static Base64urlEncoding& getInstance();

    // The 64-character alphabet, followed by a NUL.
    static const char* const ENCODE_TABLE;
    // Inverse of the alphabet; "=" maps to 0, every other byte to 255.
    static const unsigned char DECODE_TABLE[256];

    Base64urlEncoding(const Base64urlEncoding&) = delete;
    Base64urlEncoding& operator=(const Base64urlEncoding&) = delete;

    const char* getEncodingTable() const override;
    const unsigned char* getDecodingTable() const override;
    // "%3D".
    const std::string& getEncodedPaddingChars() const override;
    // "=".
    const std::string& getDecodedPaddingChars() const override;
    // True.
    bool isPaddingCharEncoded() const override;

  private:
    Base64urlEncoding();
    ~Base64urlEncoding() override;

    const std::string encodedPadding_;
    const std::string decodedPadding_;
};

}  // namespace zam

#endif  // ZAM_BASE64URLENCODING_H
