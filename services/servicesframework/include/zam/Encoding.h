// zam::Encoding: one alphabet of the Base64 family, as zam::Base64FamilyEncoder sees it: the 64
// characters, the table that maps text characters back to 6-bit values, and the padding strings.
//
// Threading: implementations hold constant data only, so any thread may use them at any time.
// Failure: nothing here fails or throws.
#ifndef ZAM_ENCODING_H
#define ZAM_ENCODING_H

#include <string>

namespace zam {

class Encoding {
  public:
    virtual ~Encoding();

    // The 64 characters of the alphabet, indexed by 6-bit value.
    virtual const char* getEncodingTable() const = 0;

    // 256 bytes indexed by the byte value of a text character: the character's 6-bit value, or
    // 255 when the character is not part of the alphabet. The decoded padding character maps to
    // a value below 255, so that padding passes the group check and decodes as zero bits.
    virtual const unsigned char* getDecodingTable() const = 0;

    // The padding string as it stands in encoded text ("=" or "%3D").
    virtual const std::string& getEncodedPaddingChars() const = 0;

    // The padding string that the decoding table understands: always a single character.
    virtual const std::string& getDecodedPaddingChars() const = 0;

    // True when the two padding strings differ, so encoded padding has to be turned into decoded
    // padding before the groups are decoded.
    virtual bool isPaddingCharEncoded() const = 0;

  protected:
    Encoding() = default;
    Encoding(const Encoding&) = default;
    Encoding& operator=(const Encoding&) = default;
};

}  // namespace zam

#endif  // ZAM_ENCODING_H
