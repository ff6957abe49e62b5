#include <zam/ByteBlob.h>

#include <zam/SecureStringUtils.h>

#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace zam {

ByteBlob::ByteBlob(std::uint64_t size) noexcept {
    // A failed allocation leaves the blob empty, which callers see through size().
    static_cast<void>(reallocate(size));
}

ByteBlob::~ByteBlob() {
    release();
}

bool ByteBlob::reallocate(std::uint64_t size) noexcept {
    release();
    if (size == 0) {
        return true;
    }
    if (size > std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    data_ = new (std::nothrow) unsigned char[static_cast<std::size_t>(size)];
    if (data_ == nullptr) {
        return false;
    }
    std::memset(data_, 0xFF, static_cast<std::size_t>(size));
    size_ = size;
    return true;
}

void ByteBlob::release() noexcept {
    if (data_ != nullptr) {
        SecureStringUtils::ZAMZeroMemory(data_, size_);
        delete[] data_;
    }
    data_ = nullptr;
    size_ = 0;
}

void ByteBlob::shrink(std::uint64_t size) noexcept {
    if (size >= size_) {
        return;
    }
    SecureStringUtils::ZAMZeroMemory(data_ + size, size_ - size);
    size_ = size;
}

void ByteBlob::swap(ByteBlob& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
}

}  // namespace zam
