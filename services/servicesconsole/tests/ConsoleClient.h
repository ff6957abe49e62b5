// Real clients for the console's tests: blocking Beast HTTP and WebSocket clients over a loopback
// port or a Unix socket, and a way to call them from another thread while the test's own thread
// (the host's dispatcher thread) pumps.
#ifndef SERVICESCONSOLE_TESTS_CONSOLECLIENT_H
#define SERVICESCONSOLE_TESTS_CONSOLECLIENT_H

#include <ZAMUnified/ServiceFactory.h>

#include <sys/socket.h>
#include <sys/time.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <future>
#include <map>
#include <string>

#include "support/Deadline.h"

namespace consoletest {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

struct Reply {
    int status = 0;  // 0: the console closed the connection without an answer
    std::string body;
    std::map<std::string, std::string> headers;
};

// "tcp:127.0.0.1:PORT" -> the port.
inline unsigned short portOf(const std::string& endpoint) {
    return static_cast<unsigned short>(std::stoul(endpoint.substr(endpoint.rfind(':') + 1)));
}

inline asio::ip::tcp::endpoint tcpEndpoint(const std::string& endpoint) {
    return {asio::ip::make_address("127.0.0.1"), portOf(endpoint)};
}

// A blocking read or write that the console never answers fails at the deadline instead of
// hanging the run.
template <class Socket>
void boundWaits(Socket& socket) {
    timeval limit{sftest::kDeadline.count() / 1000, 0};
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// Sends `request` (Host and Content-Length filled in when missing) and reads one answer.
template <class Protocol>
Reply exchange(const typename Protocol::endpoint& where, http::request<http::string_body> request) {
    asio::io_context io;
    beast::basic_stream<Protocol> stream(io);
    stream.connect(where);
    boundWaits(stream.socket());
    request.prepare_payload();
    beast::error_code error;
    http::write(stream, request, error);
    beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(16 * 1024 * 1024);
    http::read(stream, buffer, parser, error);
    Reply reply;
    if (error) {
        return reply;
    }
    reply.status = static_cast<int>(parser.get().result_int());
    reply.body = parser.get().body();
    for (const auto& field : parser.get()) {
        reply.headers[std::string(field.name_string())] = std::string(field.value());
    }
    return reply;
}

inline http::request<http::string_body> makeRequest(
    const std::string& method, const std::string& target, const std::string& body,
    const std::map<std::string, std::string>& headers) {
    http::request<http::string_body> request{http::string_to_verb(method), target, 11};
    for (const auto& header : headers) {
        request.set(header.first, header.second);
    }
    request.body() = body;
    return request;
}

// Runs `call` on another thread, pumping the factory's dispatcher on this one until it is done.
template <class Call>
auto whilePumping(ZAMUnified::ServiceFactory& factory, Call call) -> decltype(call()) {
    auto result = std::async(std::launch::async, call);
    const auto deadline = std::chrono::steady_clock::now() + sftest::kDeadline;
    while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline) {
        factory.pumpAllDispatcherTasks();
    }
    return result.get();
}

}  // namespace consoletest

#endif  // SERVICESCONSOLE_TESTS_CONSOLECLIENT_H
