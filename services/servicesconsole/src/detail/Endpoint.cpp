#include "detail/Endpoint.h"

#include <charconv>
#include <stdexcept>

namespace ZAMUnified {
namespace detail {

Endpoint parseEndpoint(const std::string& text) {
    Endpoint endpoint;
    if (text == "unix") {
        return endpoint;
    }
    if (text.compare(0, 5, "unix:") == 0) {
        endpoint.path = text.substr(5);
        if (endpoint.path.empty()) {
            throw std::invalid_argument("the endpoint \"unix:\" needs a path");
        }
        return endpoint;
    }
    if (text.compare(0, 4, "tcp:") != 0) {
        throw std::invalid_argument("the endpoint \"" + text +
                                    "\" is not unix, unix:PATH or tcp:HOST:PORT");
    }
    const std::string rest = text.substr(4);
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw std::invalid_argument("the endpoint \"" + text + "\" needs tcp:HOST:PORT");
    }
    endpoint.tcp = true;
    endpoint.host = rest.substr(0, colon);
    if (endpoint.host.size() > 2 && endpoint.host.front() == '[' && endpoint.host.back() == ']') {
        endpoint.host = endpoint.host.substr(1, endpoint.host.size() - 2);
    }
    const std::string port = rest.substr(colon + 1);
    const auto parsed = std::from_chars(port.data(), port.data() + port.size(), endpoint.port);
    if (port.empty() || parsed.ec != std::errc() || parsed.ptr != port.data() + port.size()) {
        throw std::invalid_argument("the port of \"" + text + "\" is not a number from 0 to 65535");
    }
    return endpoint;
}

std::string formatEndpoint(const Endpoint& endpoint) {
    if (!endpoint.tcp) {
        return "unix:" + endpoint.path;
    }
    const bool v6 = endpoint.host.find(':') != std::string::npos;
    return "tcp:" + (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" +
           std::to_string(endpoint.port);
}

}  // namespace detail
}  // namespace ZAMUnified
