// The Base64 family's entry points: Base64 (RFC 4648 section 4, "=" padding) and base64url
// (section 5, padding written "%3D"), each with and without padding. They delegate to two
// process-wide zam::Base64FamilyEncoder objects; see that class for the exact text formats.
//
// Threading: any thread, any number at once. Failure: decoders return 0, -1 (empty text), -2
// (malformed text) or -3 (groups do not add up) and leave the output vector as it was on failure.
#ifndef ZAM_BASE64_H
#define ZAM_BASE64_H

#include <string>
#include <vector>

namespace zam {

std::string base64_encode(const unsigned char* bytes, unsigned int count, bool lineBreaks);
std::string base64_encode_without_padding(const unsigned char* bytes, unsigned int count,
                                          bool lineBreaks);
[[nodiscard]] int base64_decode(const std::string& text, std::vector<unsigned char>& bytes);
[[nodiscard]] int base64_decode_without_padding(const std::string& text,
                                                std::vector<unsigned char>& bytes);

std::string base64url_encode(const unsigned char* bytes, unsigned int count, bool lineBreaks);
std::string base64url_encode_without_padding(const unsigned char* bytes, unsigned int count,
                                             bool lineBreaks);
[[nodiscard]] int base64url_decode(const std::string& text, std::vector<unsigned char>& bytes);
[[nodiscard]] int base64url_decode_without_padding(const std::string& text,
                                                   std::vector<unsigned char>& bytes);

}  // namespace zam

#endif  // ZAM_BASE64_H
