#include <zam/ThreadName.h>

#include <pthread.h>

#include <cstdint>
#include <cstdio>

#include "common/detail/ThreadNameChanges.h"

namespace zam {

namespace {

thread_local std::uint64_t nameChanges = 0;

}  // namespace

std::uint64_t detail::threadNameChanges() {
    return nameChanges;
}

void SetThreadName(const std::string& name) {
    ++nameChanges;
    // The framework's cutting rule is the same on every platform it runs on; on Linux the cut
    // name also fits the kernel's limit of 15 characters.
    const std::string cut = name.size() > 15 ? name.substr(0, 14) : name;
    const int result = pthread_setname_np(pthread_self(), cut.c_str());
    if (result != 0) {
        fprintf(stderr, "SetThreadName failed with error code %i\n", result);
    }
}

void ThreadNameSetter::SetCurrentThreadName(const std::string& name) {
    if (!name.empty()) {
        SetThreadName(name);
    }
}

}  // namespace zam
