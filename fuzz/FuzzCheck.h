// A check that stops the fuzzer with a message, so that libFuzzer records the input as a crash.
#ifndef SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H
#define SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

#define SF_FUZZ_CHECK(condition)                                                               \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

#endif  // SERVICESFRAMEWORK_FUZZ_FUZZCHECK_H
