// zam::ByteBlob: an owned byte array for key, IV, plain text and ciphertext. New arrays are
// filled with 0xFF; the meaningful bytes are overwritten with zeros before the array is freed.
//
// Threading: none of its own; one thread at a time per blob.
// Failure: allocation reports false (the blob is then empty); nothing throws.
#ifndef ZAM_BYTEBLOB_H
#define ZAM_BYTEBLOB_H

#include <cstdint>

namespace zam {

class ByteBlob {
  public:
    ByteBlob() noexcept = default;
    // As reallocate(size); on failure the blob stays empty.
    explicit ByteBlob(std::uint64_t size) noexcept;
    ~ByteBlob();

    ByteBlob(const ByteBlob&) = delete;
    ByteBlob& operator=(const ByteBlob&) = delete;

    // Releases the current array (zeroed) and allocates `size` bytes filled with 0xFF. A size of
    // 0 leaves the blob empty. Returns false, leaving the blob empty, when memory cannot be had.
    [[nodiscard]] bool reallocate(std::uint64_t size) noexcept;

    // Overwrites the first size() bytes with zeros, frees the array and empties the blob.
    void release() noexcept;

    // Lowers size() to `size` (never raises it) and zeroes the bytes given up, so that release()
    // still finds every byte that ever held data. The array keeps its allocation.
    void shrink(std::uint64_t size) noexcept;

    void swap(ByteBlob& other) noexcept;

    unsigned char* data() noexcept { return data_; }
    const unsigned char* data() const noexcept { return data_; }
    std::uint64_t size() const noexcept { return size_; }

  private:
    unsigned char* data_ = nullptr;  // allocated with new[], or null
    std::uint64_t size_ = 0;         // meaningful bytes
};

}  // namespace zam

#endif  // ZAM_BYTEBLOB_H
