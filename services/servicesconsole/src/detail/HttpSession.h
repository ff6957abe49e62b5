// An HTTP/1.1 connection of the console: the limits, the checks of Host, Origin and token, the
// page, the login and the API; an upgrade hands the connection to a WebSocketSession.
#ifndef SERVICESCONSOLE_DETAIL_HTTPSESSION_H
#define SERVICESCONSOLE_DETAIL_HTTPSESSION_H

#include "detail/WebSocketSession.h"

namespace ZAMUnified {
namespace detail {
namespace server {

template <class Protocol>
class HttpSession : public std::enable_shared_from_this<HttpSession<Protocol>> {
  public:
    using Stream = beast::basic_stream<Protocol>;

    HttpSession(typename Protocol::socket&& socket, std::shared_ptr<State> state)
        : stream_(std::move(socket)),
          slot_(std::move(state)),
          id_(slot_.state()->nextConnection++) {}

    ~HttpSession() { slot_.state()->removeCloser(id_); }

    void start(bool overLimit) {
        State& state = *slot_.state();
        state.addCloser(id_, [weak = std::weak_ptr<HttpSession>(this->shared_from_this())] {
            if (auto session = weak.lock()) {
                beast::error_code ignored;
                session->stream_.socket().close(ignored);
            }
        });
        if (overLimit) {
            Request request;
            request.version(11);
            request.keep_alive(false);
            return reply(failureResponse(request, 503,
                                         "the console serves at most " +
                                             std::to_string(state.options.limits.connections) +
                                             " connections at once; try again later"));
        }
        read();
    }

  private:
    void read() {
        const ConsoleLimits& limits = slot_.state()->options.limits;
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(limits.headerBytes));
        parser_->body_limit(limits.bodyBytes);
        // The whole request must arrive within the idle time: a client that trickles bytes is
        // closed like one that sends nothing.
        stream_.expires_after(limits.idle);
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                             self->onRead(error);
                         });
    }

    void onRead(beast::error_code error) {
        const ConsoleLimits& limits = slot_.state()->options.limits;
        Request empty;
        empty.version(11);
        empty.keep_alive(false);
        if (error == http::error::header_limit) {
            return reply(failureResponse(empty, 431,
                                         "the request line and headers exceed " +
                                             std::to_string(limits.headerBytes) + " bytes"));
        }
        if (error == http::error::body_limit) {
            return reply(failureResponse(
                empty, 413, "the body exceeds " + std::to_string(limits.bodyBytes) + " bytes"));
        }
        if (error &&
            error.category() == http::make_error_code(http::error::end_of_stream).category() &&
            error != http::error::end_of_stream && error != http::error::partial_message) {
            return reply(failureResponse(empty, 400, "malformed HTTP: " + error.message()));
        }
        if (error) {
            return close();
        }
        handle(parser_->release());
    }

    void handle(Request request) {
        State& state = *slot_.state();
        const std::string target(request.target());
        const std::string path = target.substr(0, target.find('?'));
        const std::string refusal = state.gate->refuseOrigin(
            std::string(request[http::field::host]), std::string(request[http::field::origin]),
            request.find(http::field::origin) != request.end());
        if (!refusal.empty()) {
            return reply(failureResponse(request, 403, refusal));
        }
        if (path == "/login") {
            return login(request, target);
        }
        if (!state.gate->admits(std::string(request[http::field::authorization]),
                                std::string(request[http::field::cookie]))) {
            return reply(failureResponse(
                request, 401,
                "the console needs its token: send \"Authorization: Bearer TOKEN\", or open "
                "/login?token=TOKEN in a browser; the token is in the discovery file"));
        }
        if (const Asset* asset = findAsset(path)) {
            if (request.method() != http::verb::get) {
                return reply(failureResponse(request, 405, "use GET for " + path));
            }
            Response response = makeResponse(request, http::status::ok, std::string(asset->content),
                                             std::string(asset->contentType).c_str());
            response.set("Content-Security-Policy", kContentSecurityPolicy);
            return reply(std::move(response));
        }
        if (path == "/v1/socket") {
            if (!websocket::is_upgrade(request)) {
                return reply(failureResponse(request, 400, "/v1/socket takes a WebSocket upgrade"));
            }
            auto session =
                std::make_shared<WebSocketSession<Protocol>>(std::move(stream_), slot_.state());
            state.removeCloser(id_);
            return session->start(std::move(request));
        }
        ConsoleCall call;
        ConsoleAnswer answer;
        if (!ConsoleApi::decode(std::string(request.method_string()), target, request.body(), call,
                                answer)) {
            return reply(answerResponse(request, answer));
        }
        // What needs no dispatcher is answered here, so a host that stopped pumping can still be
        // looked at.
        if (call.kind == ConsoleCall::Kind::Status) {
            return reply(answerResponse(request, {200, state.statusJson()}));
        }
        if (call.kind == ConsoleCall::Kind::Statistics) {
            return reply(answerResponse(
                request, {200, TextJson::statistics(reportStatistics(*state.unified))}));
        }
        auto self = this->shared_from_this();
        auto shared = std::make_shared<Request>(std::move(request));
        state.onWorker([self, call, shared] {
            State& owner = *self->slot_.state();
            const ConsoleAnswer result = owner.onDispatcher(
                [&owner, &call] { return owner.execute(call); }, kindName(call.kind));
            asio::post(self->stream_.get_executor(),
                       [self, shared, result] { self->reply(answerResponse(*shared, result)); });
        });
    }

    void login(const Request& request, const std::string& target) {
        State& state = *slot_.state();
        Target parts;
        std::string problem;
        const bool decoded = decodeTarget(target, parts, problem);
        const auto token = parts.query.find("token");
        if (!decoded || token == parts.query.end() ||
            !sameSecret(token->second, state.gate->token())) {
            return reply(failureResponse(request, 401,
                                         "the login link's token is not this "
                                         "console's; take the link from the "
                                         "discovery file or the host's log"));
        }
        // The token leaves the address bar at once: the page is reached with a cookie that only
        // this origin sends and no script can read.
        Response response = makeResponse(request, http::status::see_other, "");
        response.set(http::field::location, "/");
        response.set(http::field::set_cookie, std::string(Gate::kCookie) + "=" +
                                                  state.gate->issueCookie() +
                                                  "; HttpOnly; SameSite=Strict; Path=/");
        reply(std::move(response));
    }

    void reply(Response response) {
        auto shared = std::make_shared<Response>(std::move(response));
        const bool keepAlive = shared->keep_alive();
        stream_.expires_after(slot_.state()->options.limits.idle);
        http::async_write(stream_, *shared,
                          [self = this->shared_from_this(), shared, keepAlive](
                              beast::error_code error, std::size_t) {
                              if (error || !keepAlive) {
                                  return self->close();
                              }
                              self->read();
                          });
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(asio::socket_base::shutdown_send, ignored);
        stream_.close();
    }

    Stream stream_;
    ConnectionSlot slot_;
    const std::uint64_t id_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
};

}  // namespace server
}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_HTTPSESSION_H
