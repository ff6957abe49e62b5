// Inspects memory as it is given back. A test binary that links ReleasedMemory.cpp has every plain
// form of operator new and delete replaced, so each block released anywhere in the process (the
// framework library included) is seen just before it is freed. That shows what the optimised
// library really leaves in memory: zeroing that is not dropped as a dead store, and no secret
// left behind. Blocks that the C library's malloc hands out directly (OpenSSL's own) are not seen.
#ifndef SERVICESFRAMEWORK_TESTS_RELEASEDMEMORY_H
#define SERVICESFRAMEWORK_TESTS_RELEASEDMEMORY_H

#include <cstddef>
#include <string>
#include <vector>

namespace sftest {

struct ReleasedArray {
    std::size_t size;  // bytes allocated
    bool allZero;
};

// While a probe is alive, every array released with delete[] is checked for zeros.
class ReleasedMemoryProbe {
  public:
    ReleasedMemoryProbe();
    ~ReleasedMemoryProbe();
    ReleasedMemoryProbe(const ReleasedMemoryProbe&) = delete;
    ReleasedMemoryProbe& operator=(const ReleasedMemoryProbe&) = delete;

    // The arrays released since the probe was made, in order.
    std::vector<ReleasedArray> released() const;
};

// The sizes of released arrays in order, each marked "!" when it was not all zero: "42 16 8!".
inline std::string sizesOf(const std::vector<ReleasedArray>& arrays) {
    std::string text;
    for (const ReleasedArray& array : arrays) {
        text += (text.empty() ? "" : " ") + std::to_string(array.size) + (array.allZero ? "" : "!");
    }
    return text;
}

// While a scanner is started, every block released (by either form of delete) is searched for
// its pattern.
class FreedMemoryScanner {
  public:
    // The pattern, 8 to 256 bytes, is copied into static storage of the scanner's own, so that no
    // copy of it is freed while it searches. Not yet scanning.
    explicit FreedMemoryScanner(const std::string& pattern);
    ~FreedMemoryScanner();
    FreedMemoryScanner(const FreedMemoryScanner&) = delete;
    FreedMemoryScanner& operator=(const FreedMemoryScanner&) = delete;

    // Starts the scan; the caller's pattern string should be gone or kept alive past stop().
    void start();
    // The sizes of the released blocks that held the pattern, in order; stops the scan.
    std::vector<std::size_t> stop();
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_RELEASEDMEMORY_H
