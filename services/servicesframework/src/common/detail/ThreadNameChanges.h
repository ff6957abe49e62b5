// How many times SetThreadName has named the calling thread, so that code which names threads
// often can tell whether the name it set last is still the one the thread has.
#ifndef SERVICESFRAMEWORK_DETAIL_THREADNAMECHANGES_H
#define SERVICESFRAMEWORK_DETAIL_THREADNAMECHANGES_H

#include <cstdint>

#include "common/detail/Visibility.h"

namespace zam {
namespace detail {

SF_HIDDEN std::uint64_t threadNameChanges();

}  // namespace detail
}  // namespace zam

#endif  // SERVICESFRAMEWORK_DETAIL_THREADNAMECHANGES_H
