// Looks for secrets in memory as it is given back. The secret-hygiene test binary replaces every
// plain form of operator new and delete; while a scanner is alive, each block released anywhere
// in the process (the framework library included) is searched for the scanner's byte patterns
// just before it is freed. Blocks that the C library's malloc hands out directly (OpenSSL's own)
// are not seen.
#ifndef SERVICESFRAMEWORK_TESTS_RELIABILITY_FREEDMEMORYSCANNER_H
#define SERVICESFRAMEWORK_TESTS_RELIABILITY_FREEDMEMORYSCANNER_H

#include <cstddef>
#include <string>
#include <vector>

namespace sftest {

struct FreedSecret {
    std::size_t pattern;  // index into the scanner's patterns
    std::size_t size;     // bytes of the block that still held it
};

class FreedMemoryScanner {
  public:
    // At most four patterns, each 8 to 256 bytes long, copied into static storage of the
    // scanner's own, so that no copy of them is freed while it searches. Not yet scanning.
    explicit FreedMemoryScanner(const std::vector<std::string>& patterns);
    ~FreedMemoryScanner();
    FreedMemoryScanner(const FreedMemoryScanner&) = delete;
    FreedMemoryScanner& operator=(const FreedMemoryScanner&) = delete;

    // Starts the scan; the caller's pattern strings should be gone or kept alive past stop().
    void start();
    // The released blocks that held a pattern, in order; stops the scan.
    std::vector<FreedSecret> stop();
    // Blocks released while the scanner was armed.
    std::size_t blocksSeen() const;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_RELIABILITY_FREEDMEMORYSCANNER_H
