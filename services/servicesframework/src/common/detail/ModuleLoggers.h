// The four module loggers and the helpers every module logs through.
//
// The handles are obtained while the framework library is loaded and only read afterwards. Every
// message is finished text before it reaches the logger; debug and trace messages are not even
// composed unless their level is enabled, because the busiest paths log at those levels.
#ifndef SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H
#define SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H

#include <charconv>
#include <ios>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <ZAMLogger.h>

#include "common/detail/Visibility.h"

namespace ZAMUnified {
namespace detail {

SF_HIDDEN extern ZAMLogger* const taskDispatcherLogger;      // "TaskDispatcher"
SF_HIDDEN extern ZAMLogger* const libraryLoaderLogger;       // "library-loader"
SF_HIDDEN extern ZAMLogger* const servicesDispatcherLogger;  // "services-dispatcher"
SF_HIDDEN extern ZAMLogger* const unifiedFactoryLogger;      // "unified-factory"

}  // namespace detail
}  // namespace ZAMUnified

namespace ZAMUnified {
namespace detail {

// Integers written as numbers; the character types (which a stream writes as characters) and
// bool are not among them.
template <typename T>
constexpr bool kLogNumber =
    std::is_integral<T>::value && !std::is_same<T, bool>::value && !std::is_same<T, char>::value &&
    !std::is_same<T, signed char>::value && !std::is_same<T, unsigned char>::value &&
    !std::is_same<T, wchar_t>::value && !std::is_same<T, char16_t>::value &&
    !std::is_same<T, char32_t>::value;

// Puts a message together as an output string stream would, for the pieces log messages are made
// of (text, characters, integers, booleans, std::hex and std::dec), without a stream's set-up,
// which costs more than most messages: the first stream of a process initialises the locale, and
// the framework's start-up logs a dozen info records that the logging library may well drop.
// Anything else goes through a string stream.
class LogText {
  public:
    using Manipulator = std::ios_base& (*)(std::ios_base&);

    LogText& operator<<(const std::string& text) { return append(text); }
    LogText& operator<<(std::string_view text) { return append(text); }
    LogText& operator<<(const char* text) {
        return text != nullptr ? append(std::string_view(text)) : *this;
    }
    LogText& operator<<(char character) {
        text_.push_back(character);
        return *this;
    }
    LogText& operator<<(bool value) { return append(value ? "1" : "0"); }
    template <typename Integer, typename std::enable_if<kLogNumber<Integer>, int>::type = 0>
    LogText& operator<<(Integer value) {
        if (!pending_.empty()) {
            return fallback(value);
        }
        // A stream writes negative numbers in hexadecimal as their unsigned bit pattern.
        using Unsigned = typename std::make_unsigned<Integer>::type;
        char digits[72];
        const std::to_chars_result end =
            hex_ ? std::to_chars(digits, digits + sizeof(digits), static_cast<Unsigned>(value), 16)
                 : std::to_chars(digits, digits + sizeof(digits), value);
        return append(std::string_view(digits, static_cast<std::size_t>(end.ptr - digits)));
    }
    LogText& operator<<(Manipulator manipulator) {
        if (manipulator == static_cast<Manipulator>(std::hex)) {
            hex_ = true;
        } else if (manipulator == static_cast<Manipulator>(std::dec)) {
            hex_ = false;
        } else {
            pending_.push_back(manipulator);
        }
        return *this;
    }
    template <typename Other, typename std::enable_if<!kLogNumber<Other>, int>::type = 0>
    LogText& operator<<(const Other& value) {
        return fallback(value);
    }

    const std::string& str() const { return text_; }

  private:
    LogText& append(std::string_view text) {
        text_.append(text.data(), text.size());
        return *this;
    }
    template <typename Value>
    LogText& fallback(const Value& value) {
        std::ostringstream stream;
        if (hex_) {
            stream << std::hex;
        }
        for (Manipulator manipulator : pending_) {
            stream << manipulator;
        }
        stream << value;
        return append(stream.str());
    }

    std::string text_;
    bool hex_ = false;
    std::vector<Manipulator> pending_;  // manipulators other than std::hex and std::dec
};

}  // namespace detail
}  // namespace ZAMUnified

// SF_LOG(logger, level, sourcePath, function, parts): formats `parts` (a chain for operator<<)
// into one message and emits it with the caller's line.
#define SF_LOG(logger, level, sourcePath, function, parts)                               \
    do {                                                                                 \
        ::ZAMUnified::detail::LogText sfLogText_;                                        \
        sfLogText_ << parts;                                                             \
        ZAMLog((logger), (level), (sourcePath), __LINE__, (function), sfLogText_.str()); \
    } while (0)

// As SF_LOG at debug or trace level; `parts` is evaluated only when that level is enabled.
#define SF_LOG_DEBUG(logger, sourcePath, function, parts)                          \
    do {                                                                           \
        if (ZAMLog_isDebugEnabled(logger)) {                                       \
            SF_LOG((logger), ZAMLOG_LEVEL_DEBUG, (sourcePath), (function), parts); \
        }                                                                          \
    } while (0)

#define SF_LOG_TRACE(logger, sourcePath, function, parts)                          \
    do {                                                                           \
        if (ZAMLog_isTraceEnabled(logger)) {                                       \
            SF_LOG((logger), ZAMLOG_LEVEL_TRACE, (sourcePath), (function), parts); \
        }                                                                          \
    } while (0)

#endif  // SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H
