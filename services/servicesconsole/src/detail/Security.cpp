#include "detail/Security.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace ZAMUnified {
namespace detail {

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
        throw std::runtime_error("the system gave no random bytes for the console's token");
    }
    static const char* const kHex = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : random) {
        text += kHex[byte >> 4];
        text += kHex[byte & 15];
    }
    return text;
}

bool sameSecret(const std::string& a, const std::string& b) {
    return a.size() == b.size() && !a.empty() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string Gate::refuseOrigin(const std::string& host, const std::string& origin,
                               bool originSent) const {
    if (!hosts_.empty() && hosts_.count(host) == 0) {
        return "the Host header does not name this console";
    }
    if (originSent && origin != "http://" + host) {
        return "requests from other origins are refused";
    }
    return "";
}

bool Gate::admits(const std::string& authorization, const std::string& cookieHeader) const {
    static const std::string kBearer = "Bearer ";
    if (authorization.compare(0, kBearer.size(), kBearer) == 0 &&
        sameSecret(authorization.substr(kBearer.size()), token_)) {
        return true;
    }
    // "a=1; sf_console_session=...; b=2"
    const std::string name = std::string(kCookie) + "=";
    std::size_t start = 0;
    while (start < cookieHeader.size()) {
        std::size_t end = cookieHeader.find(';', start);
        if (end == std::string::npos) {
            end = cookieHeader.size();
        }
        std::size_t first = cookieHeader.find_first_not_of(' ', start);
        if (first != std::string::npos && first < end &&
            cookieHeader.compare(first, name.size(), name) == 0) {
            const std::string value =
                cookieHeader.substr(first + name.size(), end - first - name.size());
            std::lock_guard<std::mutex> lock(mutex_);
            bool found = false;
            for (const std::string& cookie : cookies_) {
                found = sameSecret(value, cookie) || found;
            }
            if (found) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

std::string Gate::issueCookie() {
    std::string cookie = randomHex(16);
    std::lock_guard<std::mutex> lock(mutex_);
    cookies_.push_back(cookie);
    if (cookies_.size() > kMaxCookies) {
        cookies_.pop_front();
    }
    return cookie;
}

}  // namespace detail
}  // namespace ZAMUnified
