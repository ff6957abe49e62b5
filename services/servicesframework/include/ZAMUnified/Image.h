// ZAMUnified::Image: a picture a service hands out as a result, kept as encoded bytes with their
// media type (such as "image/png"). It has no text form: the conversions render it as "".
//
// Threading: a plain value; no lock. Failure: nothing to report.
#ifndef ZAMUNIFIED_IMAGE_H
#define ZAMUNIFIED_IMAGE_H

#include <string>
#include <vector>

namespace ZAMUnified {

class Image {
  public:
    Image();
    Image(const std::string& mediaType, const std::vector<unsigned char>& bytes);

    const std::string& getMediaType() const { return mediaType_; }
    const std::vector<unsigned char>& getBytes() const { return bytes_; }

  private:
    std::string mediaType_;
    std::vector<unsigned char> bytes_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_IMAGE_H
