#include <zam/Encoding.h>

namespace zam {

Encoding::~Encoding() = default;

}  // namespace zam
