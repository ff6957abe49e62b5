// Who may use the console: the token, the cookies browsers got for it, and which Host and Origin
// headers name the console itself (so that no other site, and no DNS-rebinding page that reaches
// a loopback port under another name, can drive it).
// Threading: a Gate is made once and then read from the server's thread; cookies are kept under
// a lock. Failure: randomHex throws std::runtime_error when the system has no randomness.
#ifndef SERVICESCONSOLE_DETAIL_SECURITY_H
#define SERVICESCONSOLE_DETAIL_SECURITY_H

#include <deque>
#include <mutex>
#include <set>
#include <string>

namespace ZAMUnified {
namespace detail {

// `bytes` random bytes from OpenSSL's generator, as lower-case hex.
std::string randomHex(std::size_t bytes);
// Equal texts, in time that depends only on their lengths.
bool sameSecret(const std::string& a, const std::string& b);

class Gate {
  public:
    static constexpr const char* kCookie = "sf_console_session";
    static constexpr std::size_t kMaxCookies = 32;

    Gate(std::string token, std::set<std::string> hosts)
        : token_(std::move(token)), hosts_(std::move(hosts)) {}

    const std::string& token() const { return token_; }
    // Empty when the Host and Origin headers name this console; else why not. An empty
    // `hosts` set (a Unix socket, which no browser reaches) takes any Host.
    std::string refuseOrigin(const std::string& host, const std::string& origin,
                             bool originSent) const;
    // Whether the Authorization header or the Cookie header carries the token or a cookie.
    bool admits(const std::string& authorization, const std::string& cookieHeader) const;
    // A new cookie value for a browser that showed the token; the oldest is forgotten past
    // kMaxCookies.
    std::string issueCookie();

  private:
    const std::string token_;
    const std::set<std::string> hosts_;  // "127.0.0.1:8080", "localhost:8080", ...
    mutable std::mutex mutex_;
    std::deque<std::string> cookies_;
};

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_SECURITY_H
