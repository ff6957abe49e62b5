#include "reliability/FreedMemoryScanner.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Each block carries its size in front of it, so that delete knows how much to search.
struct alignas(16) Header {
    std::size_t size;
};

constexpr std::size_t kMaxPatterns = 4;
constexpr std::size_t kMaxPatternSize = 256;
constexpr std::size_t kMaxFindings = 256;

std::atomic<bool> armed{false};
std::atomic<std::size_t> blocksSeen{0};
// Written only while disarmed, so that releases read them without a lock.
unsigned char patterns[kMaxPatterns][kMaxPatternSize];
std::size_t patternSizes[kMaxPatterns];
std::size_t patternCount = 0;
std::mutex findingsLock;  // guards findings and findingCount
sftest::FreedSecret findings[kMaxFindings];
std::size_t findingCount = 0;

void* allocate(std::size_t size) noexcept {
    if (size > PTRDIFF_MAX - sizeof(Header)) {
        return nullptr;
    }
    // Zero-filled, so that the search never reads bytes nobody wrote (which valgrind would
    // report); what the program writes is still there when the block comes back.
    auto* header = static_cast<Header*>(std::calloc(1, sizeof(Header) + (size == 0 ? 1 : size)));
    if (header == nullptr) {
        return nullptr;
    }
    header->size = size;
    return header + 1;
}

void* allocateOrThrow(std::size_t size) {
    void* memory = allocate(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void release(void* memory) noexcept {
    if (memory == nullptr) {
        return;
    }
    Header* header = static_cast<Header*>(memory) - 1;
    if (armed.load()) {
        ++blocksSeen;
        for (std::size_t p = 0; p < patternCount; ++p) {
            if (header->size >= patternSizes[p] &&
                memmem(memory, header->size, patterns[p], patternSizes[p]) != nullptr) {
                std::lock_guard<std::mutex> guard(findingsLock);
                if (findingCount < kMaxFindings) {
                    findings[findingCount++] = {p, header->size};
                }
            }
        }
    }
    std::free(header);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}
void operator delete(void* memory) noexcept {
    release(memory);
}
void operator delete[](void* memory) noexcept {
    release(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    release(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    release(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    release(memory);
}

namespace sftest {

FreedMemoryScanner::FreedMemoryScanner(const std::vector<std::string>& texts) {
    armed.store(false);
    patternCount = 0;
    for (const std::string& text : texts) {
        if (patternCount == kMaxPatterns || text.size() < 8 || text.size() > kMaxPatternSize) {
            std::abort();  // a misuse of the test helper, not a finding
        }
        std::memcpy(patterns[patternCount], text.data(), text.size());
        patternSizes[patternCount++] = text.size();
    }
    {
        std::lock_guard<std::mutex> guard(findingsLock);
        findingCount = 0;
    }
    ::blocksSeen = 0;
}

void FreedMemoryScanner::start() {
    armed.store(true);
}

FreedMemoryScanner::~FreedMemoryScanner() {
    armed.store(false);
    std::memset(patterns, 0, sizeof patterns);
}

std::vector<FreedSecret> FreedMemoryScanner::stop() {
    // Copied disarmed, so that building the vector is not scanned itself.
    armed.store(false);
    std::lock_guard<std::mutex> guard(findingsLock);
    return std::vector<FreedSecret>(findings, findings + findingCount);
}

std::size_t FreedMemoryScanner::blocksSeen() const {
    return ::blocksSeen.load();
}

}  // namespace sftest
