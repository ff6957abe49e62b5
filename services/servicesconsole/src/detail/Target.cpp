#include "detail/Target.h"

#include <cctype>

namespace ZAMUnified {
namespace detail {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// `plus` turns '+' into a space, as forms write query values.
bool percentDecode(const std::string& text, bool plus, std::string& decoded, std::string& problem) {
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%') {
            const bool complete = i + 2 < text.size();
            const int high = complete ? hexValue(text[i + 1]) : -1;
            const int low = complete ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                problem = "the target has a '%' not followed by two hex digits";
                return false;
            }
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plus) {
            decoded += ' ';
        } else {
            decoded += c;
        }
    }
    return true;
}

}  // namespace

bool decodeTarget(const std::string& text, Target& target, std::string& problem) {
    target = Target();
    if (text.empty() || text[0] != '/') {
        problem = "the target must start with '/'";
        return false;
    }
    for (const char c : text) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            problem = "the target holds a control, space or non-ASCII byte; percent-encode it";
            return false;
        }
    }
    const std::size_t mark = text.find('?');
    const std::string path = text.substr(0, mark);
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string segment;
        if (!percentDecode(path.substr(start, end - start), false, segment, problem)) {
            return false;
        }
        // "/v1//services/" is "/v1/services": empty segments name nothing.
        if (!segment.empty()) {
            target.segments.push_back(segment);
        }
        start = end + 1;
    }
    if (mark == std::string::npos) {
        return true;
    }
    const std::string query = text.substr(mark + 1);
    start = 0;
    while (start < query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string pair = query.substr(start, end - start);
        const std::size_t equals = pair.find('=');
        std::string name;
        std::string value;
        if (!percentDecode(pair.substr(0, equals), true, name, problem) ||
            (equals != std::string::npos &&
             !percentDecode(pair.substr(equals + 1), true, value, problem))) {
            return false;
        }
        if (!name.empty()) {
            target.query[name] = value;
        }
        start = end + 1;
    }
    return true;
}

std::string percentEncode(const std::string& text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

}  // namespace detail
}  // namespace ZAMUnified
