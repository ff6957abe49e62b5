#include <zam/Runnable.h>

namespace zam {

Runnable::~Runnable() = default;

}  // namespace zam
