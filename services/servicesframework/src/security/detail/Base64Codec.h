// The Base64 family's working core: whole-buffer encoding and a one-pass decoder whose results
// match the step-by-step rules of zam::Base64FamilyEncoder exactly, in time linear in the text.
#ifndef SERVICESFRAMEWORK_SECURITY_DETAIL_BASE64CODEC_H
#define SERVICESFRAMEWORK_SECURITY_DETAIL_BASE64CODEC_H

#include "common/detail/Visibility.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zam {
class Encoding;
}

namespace zam::detail {

// Text of `count` bytes (any size, not limited to 32 bits), with the alphabet's encoded padding
// when `padding` is set and "\r\n" after every 72nd character when `lineBreaks` is set.
SF_HIDDEN std::string encodeBase64Family(const Encoding& encoding, const unsigned char* bytes,
                                         std::size_t count, bool padding, bool lineBreaks);

// The result of Base64FamilyEncoder::decode (or decodeWithoutPadding when `addMissingPadding`).
SF_HIDDEN int decodeBase64Family(const Encoding& encoding, const std::string& text,
                                 bool addMissingPadding, std::vector<unsigned char>& bytes);

// Index of the first "\r\n" at or after `from`, or `length` when there is none.
SF_HIDDEN std::size_t findLineBreak(const char* text, std::size_t length, std::size_t from);

// Number of "\r\n" in the text (occurrences cannot overlap, so this is also the count of a
// search that resumes behind each match).
SF_HIDDEN std::size_t countLineBreaks(const char* text, std::size_t length);

}  // namespace zam::detail

#endif  // SERVICESFRAMEWORK_SECURITY_DETAIL_BASE64CODEC_H
