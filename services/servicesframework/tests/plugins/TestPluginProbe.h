// What the test plug-ins tell the tests about themselves, through plain C entries that a test
// resolves in the already-open library (dlopen with RTLD_NOLOAD).
#ifndef SERVICESFRAMEWORK_TESTS_TESTPLUGINPROBE_H
#define SERVICESFRAMEWORK_TESTS_TESTPLUGINPROBE_H

#include <cstdint>

extern "C" {
typedef int (*ProbeCount)();
typedef std::uint64_t (*ProbeThread)();
typedef const void* (*ProbePointer)();
}

#endif  // SERVICESFRAMEWORK_TESTS_TESTPLUGINPROBE_H
