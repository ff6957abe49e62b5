// What the fuzzers share: a check that stops the fuzzer with a message, so that libFuzzer records
// the input as a crash, a way to call a strict parser, and the headers of the entry point.
//
// An exception that escapes LLVMFuzzerTestOneInput is a finding as well: std::terminate aborts
// and libFuzzer keeps the input. A target therefore catches only the exceptions a call may throw.
#ifndef SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H
#define SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

namespace sffuzz {

// What `parse(text)` returns, or nothing when it throws a std::exception.
template <typename T>
std::optional<T> attempt(T (*parse)(const std::string&), const std::string& text) try {
    return parse(text);
} catch (const std::exception&) {
    return std::nullopt;
}

}  // namespace sffuzz

#define SF_FUZZ_CHECK(condition)                                                               \
    ((condition)                                                                               \
         ? static_cast<void>(0)                                                                \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), \
            std::abort()))

#endif  // SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H
