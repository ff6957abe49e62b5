// Zeroing of memory that held secrets: stores that the compiler may not drop, even when the
// memory is freed right afterwards.
//
// Threading: any thread; the caller keeps others away from the memory being zeroed.
// Failure: nothing fails or throws; a null pointer or a count of 0 does nothing.
#ifndef ZAM_SECURESTRINGUTILS_H
#define ZAM_SECURESTRINGUTILS_H

#include <string>

namespace zam {

// Stores the byte `value` into each of `count` bytes. An out-of-line function whose stores are
// always performed.
void guaranteed_memset(void* memory, int value, unsigned long count);

class SecureStringUtils {
  public:
    SecureStringUtils() = delete;

    // guaranteed_memset with the value 0. The pointer is const only for the callers' ease; the
    // memory must be writable.
    static void ZAMZeroMemory(const void* memory, unsigned long count);
    static void ZAMZeroMemory(const char* memory, unsigned long count);

    // Zeroes the string's characters, then clears it.
    static void ZAMZeroString(std::string& text);

    // Zeroes the wide string's characters (every byte of them), then clears it.
    static void ZAMZeroWstring(std::wstring& text);
};

}  // namespace zam

#endif  // ZAM_SECURESTRINGUTILS_H
