#include "support/ReleasedMemory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Each block carries its size and form in front of it, so that delete knows what to inspect.
struct alignas(16) Header {
    std::size_t size;
    bool array;
};

constexpr std::size_t kMaxRecords = 4096;
constexpr std::size_t kMaxPatternSize = 256;
constexpr std::size_t kMaxFindings = 256;

std::atomic<bool> probing{false};
std::atomic<bool> scanning{false};
// Written only while the scan is off, so that releases read them without a lock.
unsigned char pattern[kMaxPatternSize];
std::size_t patternSize = 0;
std::mutex lock;  // guards records, recordCount, findings and findingCount
sftest::ReleasedArray records[kMaxRecords];
std::size_t recordCount = 0;
std::size_t findings[kMaxFindings];
std::size_t findingCount = 0;

void* allocate(std::size_t size, bool array) noexcept {
    if (size > PTRDIFF_MAX - sizeof(Header)) {
        return nullptr;
    }
    // Zero-filled, so that the search never reads bytes nobody wrote (which valgrind would
    // report); what the program writes is still there when the block comes back.
    auto* header = static_cast<Header*>(std::calloc(1, sizeof(Header) + (size == 0 ? 1 : size)));
    if (header == nullptr) {
        return nullptr;
    }
    *header = {size, array};
    return header + 1;
}

void* allocateOrThrow(std::size_t size, bool array) {
    void* memory = allocate(size, array);
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
    if (probing.load() && header->array) {
        const auto* bytes = static_cast<const volatile unsigned char*>(memory);
        bool allZero = true;
        for (std::size_t i = 0; i < header->size; ++i) {
            allZero = allZero && bytes[i] == 0;
        }
        std::lock_guard<std::mutex> guard(lock);
        if (recordCount < kMaxRecords) {
            records[recordCount++] = {header->size, allZero};
        }
    }
    if (scanning.load() && header->size >= patternSize &&
        memmem(memory, header->size, pattern, patternSize) != nullptr) {
        std::lock_guard<std::mutex> guard(lock);
        if (findingCount < kMaxFindings) {
            findings[findingCount++] = header->size;
        }
    }
    std::free(header);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size, false);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size, true);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, false);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size, true);
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

ReleasedMemoryProbe::ReleasedMemoryProbe() {
    {
        std::lock_guard<std::mutex> guard(lock);
        recordCount = 0;
    }
    probing.store(true);
}

ReleasedMemoryProbe::~ReleasedMemoryProbe() {
    probing.store(false);
}

std::vector<ReleasedArray> ReleasedMemoryProbe::released() const {
    // Copied with the probe off, so that building the vector is not recorded itself.
    const bool wasProbing = probing.exchange(false);
    std::vector<ReleasedArray> copy;
    {
        std::lock_guard<std::mutex> guard(lock);
        copy.assign(records, records + recordCount);
    }
    probing.store(wasProbing);
    return copy;
}

FreedMemoryScanner::FreedMemoryScanner(const std::string& text) {
    scanning.store(false);
    if (text.size() < 8 || text.size() > kMaxPatternSize) {
        std::abort();  // a misuse of the test helper, not a finding
    }
    std::memcpy(pattern, text.data(), text.size());
    patternSize = text.size();
    std::lock_guard<std::mutex> guard(lock);
    findingCount = 0;
}

void FreedMemoryScanner::start() {
    scanning.store(true);
}

FreedMemoryScanner::~FreedMemoryScanner() {
    scanning.store(false);
    std::memset(pattern, 0, sizeof pattern);
}

std::vector<std::size_t> FreedMemoryScanner::stop() {
    // Copied with the scan off, so that building the vector is not scanned itself.
    scanning.store(false);
    std::lock_guard<std::mutex> guard(lock);
    return std::vector<std::size_t>(findings, findings + findingCount);
}

}  // namespace sftest
