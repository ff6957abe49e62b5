// Equality of the short names the reflection layer and the interpreter look up (methods, path
// steps), compared in place: for a few characters a library call costs more than the comparison.
#ifndef SERVICESFRAMEWORK_DETAIL_SAMENAME_H
#define SERVICESFRAMEWORK_DETAIL_SAMENAME_H

#include <cstddef>
#include <string_view>

namespace zam {
namespace detail {

inline bool sameName(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace detail
}  // namespace zam

#endif  // SERVICESFRAMEWORK_DETAIL_SAMENAME_H
