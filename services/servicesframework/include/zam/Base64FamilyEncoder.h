// zam::Base64FamilyEncoder: encodes bytes as Base64-family text, optionally in lines of 72
// characters broken by "\r\n", and decodes such text (regular line breaks and surplus padding
// accepted) for the alphabet of the zam::Encoding it is bound to.
// Threading: it only reads its alphabet; any number of threads may use one encoder at once.
// Failure: decoders return 0, -1, -2 or -3 (see decode) and nothing throws, short of bad_alloc.
#ifndef ZAM_BASE64FAMILYENCODER_H
#define ZAM_BASE64FAMILYENCODER_H

#include <cstddef>
#include <string>
#include <vector>

namespace zam {

class Encoding;

class Base64FamilyEncoder {
  public:
    // The only line break written and recognised, and the length of a full line.
    static constexpr const char* LINE_BREAK = "\r\n";
    static constexpr std::size_t LINE_BREAK_LENGTH = 2;
    static constexpr std::size_t LINE_LENGTH = 72;
    static constexpr std::size_t BYTES_PER_GROUP = 3;
    static constexpr std::size_t CHARS_PER_GROUP = 4;

    // Uses `encoding` (not null) for every call; the encoder does not own it and never deletes
    // it, so it must outlive the encoder.
    explicit Base64FamilyEncoder(Encoding* encoding) noexcept;

    // Encodes `count` bytes, followed by as many padding strings as the final group needs. With
    // `lineBreaks`, "\r\n" follows every 72nd character, also at the very end (when `count` is a
    // multiple of 54), but never the final short group. A null pointer or a count of 0 gives "".
    std::string encode(const unsigned char* bytes, unsigned int count, bool lineBreaks) const;

    // As encode(), without the padding.
    std::string encodeWithoutPadding(const unsigned char* bytes, unsigned int count,
                                     bool lineBreaks) const;

    // Decodes `text` and appends the bytes to `bytes`. Returns
    //    0  success;
    //   -1  the text is empty;
    //   -2  the text is malformed: something other than padding or line breaks follows the first
    //       padding string, line breaks are irregular, the final group would hold one character,
    //       there is less padding than the final group needs, or a group holds a character
    //       outside the alphabet;
    //   -3  once line breaks are removed the characters do not split into whole groups of four,
    //       or surplus padding cannot be removed.
    // The checks run in that order and the first failing one decides. On failure `bytes` keeps
    // exactly the size and contents it had. When the alphabet writes its padding encoded
    // ("%3D"), the decoded form ("=") is accepted as padding as well; the two may be mixed.
    [[nodiscard]] int decode(const std::string& text, std::vector<unsigned char>& bytes) const;

    // As decode() after addMissingPaddingChars(text): text with or without its padding decodes.
    [[nodiscard]] int decodeWithoutPadding(const std::string& text,
                                           std::vector<unsigned char>& bytes) const;

    // --- Building blocks of the operations above, each usable on its own --------------------
    // "Padding string" below means the alphabet's encoded padding string.

    // Appends the characters of one group of `count` bytes (0 to 3): 4, 3, 2 or no characters.
    void encodeGroup(const unsigned char* group, unsigned int count, std::string& text) const;

    // The text followed by the padding strings its final group lacks (padding it already carries
    // is not counted, so complete text comes back unchanged).
    std::string addMissingPaddingChars(const std::string& text) const;

    // Number of "\r\n" in the text.
    long getNewLines(const std::string& text) const;

    // Removes every "\r\n", including those that a removal brings together ("\r\r\n\n" goes
    // completely), in one pass.
    void eraseNewLines(std::string& text) const;

    // Number of padding strings from the first one on, or -1 when anything other than padding
    // strings and "\r\n" follows the first one.
    long getPaddingChars(const std::string& text) const;

    // True when line breaks are regular: taking the first "\r\n" and the line before it as one
    // period, every position a whole number of periods further on holds "\r\n" or lies inside a
    // padding string (the last line may run past the period by padding). Text without line
    // breaks passes.
    bool weakCheckNewLines(const std::string& text) const;

    // True when `position` lies inside an occurrence of the padding string.
    bool isInsideEncodedPaddingChar(const std::string& text, std::size_t position) const;

    // False when the final group would hold a single character.
    bool checkInputSize(const std::string& text, long lineBreaks, long paddings) const;

    // Characters in the final, incomplete group (0 when the last group is whole): the text's
    // length less the padding and the line breaks, modulo 4.
    int computeLastGroupSize(const std::string& text, long lineBreaks, long paddings,
                             std::size_t paddingLength) const;

    // Padding strings the final group needs: 0, 3, 2, 1 for last group sizes 0, 1, 2, 3.
    int computePaddingCharsNeeded(const std::string& text, long lineBreaks, long paddings) const;

    // Erases the last padding strings beyond those needed. Returns the number needed, -1 when the
    // text has fewer than that, -2 when an occurrence to erase cannot be found.
    long removeUnnecessaryEncodedPaddingChars(std::string& text, long lineBreaks,
                                              long paddings) const;

    // For an alphabet whose padding is encoded: turns the last `count` padding strings into the
    // decoded padding string, wherever they stand (line breaks may follow them).
    void decodeEndingPaddingChars(std::string& text, long count) const;

    // Appends the three bytes of one group of exactly four characters and returns 0; returns -1
    // and appends nothing for any other group.
    int decodeGroup(const std::string& group, std::vector<unsigned char>& bytes) const;

    // True when every character of the group is in the alphabet (or is the decoded padding).
    bool checkCharGroup(const std::string& group) const;

  private:
    Encoding* encoding_;  // not owned
};

}  // namespace zam

#endif  // ZAM_BASE64FAMILYENCODER_H
