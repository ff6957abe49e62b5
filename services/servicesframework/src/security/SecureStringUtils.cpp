#include <zam/SecureStringUtils.h>

#include <cstring>

namespace zam {

__attribute__((noinline)) void guaranteed_memset(void* memory, int value, unsigned long count) {
    if (memory == nullptr || count == 0) {
        return;
    }
    std::memset(memory, value, count);
    // The empty asm claims to read the memory through the pointer, so the stores above are never
    // dead to the optimiser, not even when the memory is freed right afterwards.
    __asm__ __volatile__("" : : "r"(memory) : "memory");
}

void SecureStringUtils::ZAMZeroMemory(const void* memory, unsigned long count) {
    guaranteed_memset(const_cast<void*>(memory), 0, count);
}

void SecureStringUtils::ZAMZeroMemory(const char* memory, unsigned long count) {
    guaranteed_memset(const_cast<char*>(memory), 0, count);
}

void SecureStringUtils::ZAMZeroString(std::string& text) {
    if (!text.empty()) {
        text[0] = '\0';
        guaranteed_memset(&text[0], 0, text.size());
    }
    text.clear();
}

void SecureStringUtils::ZAMZeroWstring(std::wstring& text) {
    if (!text.empty()) {
        text[0] = L'\0';
        guaranteed_memset(&text[0], 0, text.size() * sizeof(wchar_t));
    }
    text.clear();
}

}  // namespace zam
