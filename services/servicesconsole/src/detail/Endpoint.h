// Console endpoints as text: "unix", "unix:PATH", "tcp:HOST:PORT" ("tcp:[::1]:PORT" for IPv6).
// Failure: parseEndpoint throws std::invalid_argument saying what is wrong.
#ifndef SERVICESCONSOLE_DETAIL_ENDPOINT_H
#define SERVICESCONSOLE_DETAIL_ENDPOINT_H

#include <string>

namespace ZAMUnified {
namespace detail {

struct Endpoint {
    bool tcp = false;
    std::string path;  // unix: the socket's path; empty for the default one
    std::string host;  // tcp: the address, without brackets
    unsigned short port = 0;
};

Endpoint parseEndpoint(const std::string& text);
std::string formatEndpoint(const Endpoint& endpoint);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_ENDPOINT_H
