#include <ZAMUnified/Image.h>

namespace ZAMUnified {

Image::Image() = default;

Image::Image(const std::string& mediaType, const std::vector<unsigned char>& bytes)
    : mediaType_(mediaType), bytes_(bytes) {}

}  // namespace ZAMUnified
