// zam::Base64DiscreetEncoder: Base64 for secrets, into caller-sized buffers so that neither text
// nor bytes pass through a std::string or std::vector; its entry functions take and give
// zam::SecureString values and zero their temporary buffers. Standard alphabet, "=" padding.
// Threading: no state; any number of threads at once.
// Failure: decode() and base64_discreet_decode() return -1 and change no output; nothing throws.
#ifndef ZAM_BASE64DISCREETENCODER_H
#define ZAM_BASE64DISCREETENCODER_H

#include <zam/SecureString.h>

namespace zam {

class Base64DiscreetEncoder {
  public:
    Base64DiscreetEncoder() = default;
    ~Base64DiscreetEncoder() = default;

    // Exact number of characters encode() writes for `count` bytes.
    unsigned long computeEncodedMessageLength(unsigned long count, bool lineBreaks) const;

    // Number of bytes to reserve for decode(): three per group of four characters (line breaks
    // not counted), less one for each "=" among the last two characters of the text. 0 when the
    // text is null, empty or does not split into groups of four.
    unsigned long computeDecodedMessageLength(const char* text, unsigned long length) const;

    // Writes computeEncodedMessageLength(count, lineBreaks) characters, no NUL. Writes nothing
    // for a null pointer or a count of 0.
    void encode(char* out, const unsigned char* bytes, unsigned long count, bool lineBreaks) const;

    // Decodes `length` characters into `out`, which must hold computeDecodedMessageLength()
    // bytes. Carriage returns and line feeds are skipped wherever they stand. Every group writes
    // three bytes, one fewer for each "=" among its last two characters. Returns 0, or -1 for
    // null or empty input, a character count (line breaks aside) that is not a multiple of four,
    // or a character outside the alphabet (groups before it stay written).
    [[nodiscard]] int decode(unsigned char* out, const char* text, unsigned long length) const;
};

// The Base64 text of `count` bytes as a secure string; empty for a null pointer or no bytes.
SecureString base64_discreet_encode(const unsigned char* bytes, unsigned int count,
                                    bool lineBreaks);

// Decodes the text held by `text` and sets `bytes` to a new secure string of exactly the bytes
// decoded (other handles of the old `bytes` keep the old value). Returns 0, or -1 when the text
// is empty or cannot be decoded; `bytes` is then left unchanged.
[[nodiscard]] int base64_discreet_decode(const SecureString& text, SecureString& bytes);

}  // namespace zam

#endif  // ZAM_BASE64DISCREETENCODER_H
