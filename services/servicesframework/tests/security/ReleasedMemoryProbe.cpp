#include "security/ReleasedMemoryProbe.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

// Each array carries its size in front of it, so that delete[] knows how much to inspect.
struct alignas(16) Header {
    std::size_t size;
};

constexpr std::size_t kMaxRecords = 4096;

std::atomic<bool> armed{false};
std::mutex recordsLock;  // guards records and recordCount
sftest::ReleasedArray records[kMaxRecords];
std::size_t recordCount = 0;

void* allocateArray(std::size_t size) noexcept {
    if (size > PTRDIFF_MAX - sizeof(Header)) {
        return nullptr;
    }
    auto* header = static_cast<Header*>(std::malloc(sizeof(Header) + (size == 0 ? 1 : size)));
    if (header == nullptr) {
        return nullptr;
    }
    header->size = size;
    return header + 1;
}

void releaseArray(void* memory) noexcept {
    if (memory == nullptr) {
        return;
    }
    Header* header = static_cast<Header*>(memory) - 1;
    if (armed.load()) {
        const auto* bytes = static_cast<const volatile unsigned char*>(memory);
        bool allZero = true;
        for (std::size_t i = 0; i < header->size; ++i) {
            allZero = allZero && bytes[i] == 0;
        }
        std::lock_guard<std::mutex> guard(recordsLock);
        if (recordCount < kMaxRecords) {
            records[recordCount++] = {header->size, allZero};
        }
    }
    std::free(header);
}

}  // namespace

void* operator new[](std::size_t size) {
    void* memory = allocateArray(size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateArray(size);
}

void operator delete[](void* memory) noexcept {
    releaseArray(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    releaseArray(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    releaseArray(memory);
}

namespace sftest {

ReleasedMemoryProbe::ReleasedMemoryProbe() {
    {
        std::lock_guard<std::mutex> guard(recordsLock);
        recordCount = 0;
    }
    armed.store(true);
}

ReleasedMemoryProbe::~ReleasedMemoryProbe() {
    armed.store(false);
}

std::vector<ReleasedArray> ReleasedMemoryProbe::released() const {
    // Copied with the probe disarmed, so that building the vector is not recorded itself.
    const bool wasArmed = armed.exchange(false);
    std::vector<ReleasedArray> copy;
    {
        std::lock_guard<std::mutex> guard(recordsLock);
        copy.assign(records, records + recordCount);
    }
    armed.store(wasArmed);
    return copy;
}

}  // namespace sftest
