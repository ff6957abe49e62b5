#include "KORCoreUtils.h"

#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <stdexcept>

namespace KORCoreUtils {

namespace {

constexpr const char* kBlanks = " \t\n\r\f\v";

// The parsers below report through this instead of throwing, so that the defaulting overload of
// toUnsignedInt needs no exception on its failure path.
enum class ParseError { None, Invalid, OutOfRange };

struct Trimmed {
    const char* begin;
    const char* end;
};

Trimmed trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {text.data() + text.size(), text.data() + text.size()};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return {text.data() + first, text.data() + last + 1};
}

// std::from_chars takes no plus sign, but "+5" is a fair way to write five; a sign not directly
// followed by the number stays an error.
const char* skipPlus(const char* begin, const char* end) {
    if (end - begin >= 2 && begin[0] == '+' && begin[1] != '-' && begin[1] != '+') {
        return begin + 1;
    }
    return begin;
}

template <typename T>
ParseError parseNumber(const std::string& text, T& value) {
    const Trimmed trimmed = trimBlanks(text);
    const char* const begin = skipPlus(trimmed.begin, trimmed.end);
    if (begin == trimmed.end) {
        return ParseError::Invalid;
    }
    // from_chars does not consult the locale, so a process-wide setlocale cannot change what a
    // configuration text means.
    T parsed{};
    const auto result = std::from_chars(begin, trimmed.end, parsed);
    if (result.ptr != trimmed.end) {
        return ParseError::Invalid;
    }
    if (result.ec == std::errc::result_out_of_range) {
        return ParseError::OutOfRange;
    }
    if (result.ec != std::errc()) {
        return ParseError::Invalid;
    }
    value = parsed;
    return ParseError::None;
}

template <typename T>
T parseOrThrow(const std::string& text, const char* typeName) {
    T value{};
    switch (parseNumber(text, value)) {
        case ParseError::None:
            return value;
        case ParseError::OutOfRange:
            throw std::out_of_range("\"" + text + "\" is out of the range of " + typeName);
        case ParseError::Invalid:
            break;
    }
    throw std::invalid_argument("\"" + text + "\" is not " + typeName);
}

template <typename T>
std::string integerToString(T value) {
    // Enough for the sign and every digit of a 64-bit value.
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

unsigned char asciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

void split(const std::string& text, std::vector<std::string>& out, const std::string& delimiter) {
    if (text.empty()) {
        return;
    }
    if (delimiter.empty()) {
        out.push_back(text);
        return;
    }
    std::string::size_type start = 0;
    for (;;) {
        const auto found = text.find(delimiter, start);
        if (found == std::string::npos) {
            out.push_back(text.substr(start));
            return;
        }
        out.push_back(text.substr(start, found - start));
        start = found + delimiter.size();
    }
}

int toInt(const std::string& text) {
    return parseOrThrow<int>(text, "an int");
}

unsigned int toUnsignedInt(const std::string& text) {
    return parseOrThrow<unsigned int>(text, "an unsigned int");
}

long toLong(const std::string& text) {
    return parseOrThrow<long>(text, "a long");
}

long long toLongLong(const std::string& text) {
    return parseOrThrow<long long>(text, "a long long");
}

float toFloat(const std::string& text) {
    // from_chars also flags a finite text too small for any float other than zero ("1e-60") as out
    // of range; that is kept, since silently reading such a value as zero would hide a mistake.
    return parseOrThrow<float>(text, "a float");
}

bool toBool(const std::string& text) {
    const Trimmed trimmed = trimBlanks(text);
    std::string word;
    for (const char* p = trimmed.begin; p != trimmed.end; ++p) {
        word += static_cast<char>(asciiLower(static_cast<unsigned char>(*p)));
    }
    if (word == "true" || word == "1" || word == "yes") {
        return true;
    }
    if (word == "false" || word == "0" || word == "no") {
        return false;
    }
    throw std::invalid_argument("\"" + text + "\" is not a bool");
}

unsigned int toUnsignedInt(const std::string& text, unsigned int defaultValue) {
    unsigned int value = 0;
    return parseNumber(text, value) == ParseError::None ? value : defaultValue;
}

std::string toString(int value) {
    return integerToString(value);
}

std::string toString(unsigned int value) {
    return integerToString(value);
}

std::string toString(long value) {
    return integerToString(value);
}

std::string toString(long long value) {
    return integerToString(value);
}

std::string toString(float value) {
    // The shortest round-trip form of a float is at most 15 characters ("-1.1754944e-38").
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string toString(bool value) {
    return value ? "true" : "false";
}

std::string toString(const std::wstring& text) {
    std::string result;
    result.reserve(text.size());
    for (const wchar_t c : text) {
        result +=
            static_cast<char>(static_cast<unsigned char>(static_cast<unsigned long>(c) & 0xFFu));
    }
    return result;
}

std::wstring toWideString(const std::string& text) {
    std::wstring result;
    result.reserve(text.size());
    for (const char c : text) {
        result += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return result;
}

bool caseInsensitiveStringEquals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && caseInsensitiveStringCompare(a, b) == 0;
}

int caseInsensitiveStringCompare(const std::string& a, const std::string& b) {
    const std::size_t common = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < common; ++i) {
        const int left = asciiLower(static_cast<unsigned char>(a[i]));
        const int right = asciiLower(static_cast<unsigned char>(b[i]));
        if (left != right) {
            return left - right;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

namespace FileUtils {

bool fileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::string getFileName(const std::string& path) {
    const auto last = path.find_last_not_of('/');
    if (last == std::string::npos) {
        return path.empty() ? std::string() : std::string("/");
    }
    const auto slash = path.rfind('/', last);
    const auto start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(start, last + 1 - start);
}

std::string FileSeparator() {
    return "/";
}

std::string getAbsolutePath(const std::string& path) {
    std::string full;
    if (path.empty() || path[0] != '/') {
        std::string directory(256, '\0');
        while (::getcwd(&directory[0], directory.size()) == nullptr) {
            if (errno != ERANGE) {
                return std::string();
            }
            directory.resize(directory.size() * 2);
        }
        directory.resize(directory.find('\0'));
        full = directory + "/" + path;
    } else {
        full = path;
    }

    std::vector<std::string> components;
    split(full, components, "/");
    std::vector<std::string> kept;
    for (auto& component : components) {
        if (component.empty() || component == ".") {
            continue;
        }
        if (component == "..") {
            // ".." at the root stays at the root, as the kernel resolves it.
            if (!kept.empty()) {
                kept.pop_back();
            }
            continue;
        }
        kept.push_back(std::move(component));
    }
    if (kept.empty()) {
        return "/";
    }
    std::string result;
    for (const auto& component : kept) {
        result += '/';
        result += component;
    }
    return result;
}

std::string getParentDirectory(const std::string& path) {
    const auto last = path.find_last_not_of('/');
    if (last == std::string::npos) {
        return path.empty() ? std::string(".") : std::string("/");
    }
    const auto slash = path.rfind('/', last);
    if (slash == std::string::npos) {
        return ".";
    }
    const auto parentEnd = path.find_last_not_of('/', slash);
    if (parentEnd == std::string::npos) {
        return "/";
    }
    return path.substr(0, parentEnd + 1);
}

std::string getResourcesDirectory() {
    const char* configured = std::getenv("ZAM_RESOURCES_DIR");
    if (configured != nullptr && configured[0] != '\0') {
        return configured;
    }
    std::string executable(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", &executable[0], executable.size());
        if (length < 0) {
            return std::string();
        }
        // A full buffer may mean a truncated path: readlink does not say.
        if (static_cast<std::size_t>(length) < executable.size()) {
            executable.resize(static_cast<std::size_t>(length));
            break;
        }
        executable.resize(executable.size() * 2);
    }
    // /proc/self/exe is already free of symbolic links, so resolving ".." lexically is exact.
    return getAbsolutePath(getParentDirectory(executable) + "/../resources");
}

}  // namespace FileUtils

namespace ThreadUtils {

namespace {

// Bumped in every child a fork makes: the thread that forked carries its old id in its cache,
// and the child's thread has a new one.
std::atomic<unsigned int> forkGeneration{0};

const int forkWatch = ::pthread_atfork(
    nullptr, nullptr, [] { forkGeneration.fetch_add(1, std::memory_order_relaxed); });

}  // namespace

std::uint64_t getCurrentThreadId() {
    // Asked on every dispatcher pump and access check: the system call is made once per thread
    // (and again after a fork), not on every call.
    thread_local std::uint64_t id = 0;
    thread_local unsigned int generation = 0;
    thread_local bool known = false;
    const unsigned int current = forkGeneration.load(std::memory_order_relaxed);
    if (!known || generation != current) {
        id = static_cast<std::uint64_t>(::syscall(SYS_gettid));
        generation = current;
        known = true;
    }
    (void)forkWatch;
    return id;
}

}  // namespace ThreadUtils

}  // namespace KORCoreUtils
