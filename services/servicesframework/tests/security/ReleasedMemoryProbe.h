// Inspects memory as it is given back. The security test binary replaces the array forms of
// operator new and delete; while a probe is alive, every array released with delete[] anywhere
// in the process (the framework library included) is checked for zeros just before it is freed.
// That shows that zeroing really happens in the optimised library and is not dropped as a dead
// store.
#ifndef SERVICESFRAMEWORK_TESTS_SECURITY_RELEASEDMEMORYPROBE_H
#define SERVICESFRAMEWORK_TESTS_SECURITY_RELEASEDMEMORYPROBE_H

#include <cstddef>
#include <vector>

namespace sftest {

struct ReleasedArray {
    std::size_t size;  // bytes allocated
    bool allZero;
};

class ReleasedMemoryProbe {
  public:
    ReleasedMemoryProbe();
    ~ReleasedMemoryProbe();
    ReleasedMemoryProbe(const ReleasedMemoryProbe&) = delete;
    ReleasedMemoryProbe& operator=(const ReleasedMemoryProbe&) = delete;

    // The arrays released since the probe was made, in order.
    std::vector<ReleasedArray> released() const;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_SECURITY_RELEASEDMEMORYPROBE_H
