#include "detail/Server.h"

#include <ZAMLogger.h>
#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/TextJson.h>
#include <ZAMUnified/TextResult.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <thread>

#include "detail/Assets.h"
#include "detail/Discovery.h"
#include "detail/Endpoint.h"
#include "detail/Security.h"
#include "detail/Target.h"

namespace ZAMUnified {
namespace detail {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using Json = nlohmann::ordered_json;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

const char* const kContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'";
constexpr int kWorkers = 8;

ZAMLogger* logger() {
    static ZAMLogger* const instance = ZAMLogger_getLogger("services-console");
    return instance;
}

void log(int level, const char* function, const std::string& message) {
    ZAMLog(logger(), level, __FILE__, __LINE__, function, message);
}

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string headerOf(const Request& request, http::field field) {
    const auto found = request.find(field);
    return found == request.end() ? std::string() : std::string(found->value());
}

bool isLoopback(const asio::ip::address& address) {
    return address.is_loopback();
}

}  // namespace

struct Server::State : std::enable_shared_from_this<Server::State> {
    State(ServiceFactory& hostFactory, ConsoleOptions consoleOptions)
        : factory(hostFactory), options(std::move(consoleOptions)) {}

    ServiceFactory& factory;
    ConsoleOptions options;
    std::shared_ptr<UnifiedFactory> unified;
    std::unique_ptr<ConsoleApi> api;
    std::unique_ptr<Gate> gate;
    std::string endpoint;
    std::string socketPath;  // a Unix socket this console made; removed at stop
    std::string discoveryPath;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    // Destroyed at stop, with the handlers that keep sessions alive.
    std::unique_ptr<asio::io_context> io = std::make_unique<asio::io_context>(1);
    std::unique_ptr<asio::ip::tcp::acceptor> tcpAcceptor;
    std::unique_ptr<asio::local::stream_protocol::acceptor> unixAcceptor;
    std::thread ioThread;
    std::unique_ptr<asio::thread_pool> workers;

    std::atomic<std::size_t> connections{0};
    std::atomic<std::uint64_t> nextConnection{1};
    // Calls handed to the workers and not yet finished there; stop() waits for none.
    std::mutex flightMutex;
    std::condition_variable flightDone;
    int inFlight = 0;
    // Notifications arrive on the dispatcher thread; they reach the I/O thread only while it
    // runs, which this lock and flag decide.
    std::mutex eventMutex;
    bool eventsOpen = true;
    // Every open session, to close them at stop.
    std::mutex closersMutex;
    std::map<std::uint64_t, std::function<void()>> closers;

    void addCloser(std::uint64_t id, std::function<void()> closer) {
        std::lock_guard<std::mutex> lock(closersMutex);
        closers[id] = std::move(closer);
    }
    void removeCloser(std::uint64_t id) {
        std::lock_guard<std::mutex> lock(closersMutex);
        closers.erase(id);
    }

    // Runs `work` on a worker, counting it in flight.
    void onWorker(std::function<void()> work) {
        {
            std::lock_guard<std::mutex> lock(flightMutex);
            ++inFlight;
        }
        asio::post(*workers, [self = shared_from_this(), work = std::move(work)] {
            work();
            std::lock_guard<std::mutex> lock(self->flightMutex);
            --self->inFlight;
            self->flightDone.notify_all();
        });
    }

    // Runs `function` on the host's dispatcher thread, or answers 504 when the host does not
    // take it up in time (it is then withdrawn and never runs).
    ConsoleAnswer onDispatcher(const std::function<ConsoleAnswer()>& function,
                               const std::string& name) {
        ConsoleAnswer answer;
        bool ran = false;
        try {
            ran = unified->getServicesDispatcher()->runOnDispatcherThread(
                [&] { answer = function(); }, options.requestTimeout, "console " + name);
        } catch (const std::exception& error) {
            return ConsoleApi::failure(500, std::string("exception: ") + error.what());
        }
        if (!ran) {
            return ConsoleApi::failure(504, "the host has not run the request within " +
                                                std::to_string(options.requestTimeout.count()) +
                                                " ms");
        }
        return answer;
    }

    // A call on the dispatcher thread. The echo of a line that carried a secret keeps only its
    // path up to the arguments, since the answer may be logged or shown where the line was not.
    ConsoleAnswer execute(const ConsoleCall& call) {
        ConsoleAnswer answer = api->execute(call);
        if (answer.carriedSecret && !options.revealSecrets) {
            Json json = Json::parse(answer.body, nullptr, false);
            if (json.is_object() && json.contains("request")) {
                json["request"] =
                    call.text.substr(0, call.text.find('(')) + "(" + kMaskedSecretText + ")";
                answer.body = dumped(json);
            }
        }
        return answer;
    }

    // Hands a JSON event to the I/O thread, when it still runs.
    void postEvent(std::function<void()> deliver) {
        std::lock_guard<std::mutex> lock(eventMutex);
        if (eventsOpen) {
            asio::post(*io, std::move(deliver));
        }
    }

    std::string statusJson() const {
        const auto uptime = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - started);
        return dumped(Json{{"pid", getpid()},
                           {"program", options.program},
                           {"endpoint", endpoint},
                           {"revealSecrets", options.revealSecrets},
                           {"uptimeMs", uptime.count()}});
    }
};

namespace {

using State = Server::State;

const char* kindName(ConsoleCall::Kind kind) {
    static const char* const kNames[] = {
        "run",         "services",   "libraries", "describe", "authenticators", "authenticator",
        "featuresets", "featureset", "objects",   "monitor",  "stats",          "status"};
    return kNames[static_cast<int>(kind)];
}

// Counts an open connection for as long as its session lives.
class ConnectionSlot {
  public:
    explicit ConnectionSlot(std::shared_ptr<State> state) : state_(std::move(state)) {
        ++state_->connections;
    }
    ~ConnectionSlot() { --state_->connections; }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    const std::shared_ptr<State>& state() const { return state_; }

  private:
    std::shared_ptr<State> state_;
};

Response makeResponse(const Request& request, http::status status, std::string body,
                      const char* contentType = "application/json") {
    Response response{status, request.version()};
    response.set(http::field::server, "services-console");
    response.set(http::field::content_type, contentType);
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    response.set("X-Frame-Options", "DENY");
    response.set("Referrer-Policy", "no-referrer");
    response.keep_alive(request.keep_alive());
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
}

Response answerResponse(const Request& request, const ConsoleAnswer& answer) {
    return makeResponse(request, static_cast<http::status>(answer.status), answer.body);
}

Response failureResponse(const Request& request, int status, const std::string& message) {
    return answerResponse(request, ConsoleApi::failure(status, message));
}

template <class Protocol>
class WebSocketSession : public std::enable_shared_from_this<WebSocketSession<Protocol>> {
  public:
    using Stream = beast::basic_stream<Protocol>;

    WebSocketSession(Stream&& stream, std::shared_ptr<State> state)
        : socket_(std::move(stream)),
          slot_(std::move(state)),
          timer_(socket_.get_executor()),
          id_(slot_.state()->nextConnection++) {}

    void start(Request request) {
        State& state = *slot_.state();
        beast::get_lowest_layer(socket_).expires_never();
        websocket::stream_base::timeout timeout =
            websocket::stream_base::timeout::suggested(beast::role_type::server);
        timeout.idle_timeout = state.options.limits.idle;
        socket_.set_option(timeout);
        socket_.read_message_max(state.options.limits.messageBytes);
        socket_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& r) { r.set(http::field::server, "services-console"); }));
        auto self = this->shared_from_this();
        state.addCloser(id_, [weak = std::weak_ptr<WebSocketSession>(self)] {
            if (auto session = weak.lock()) {
                beast::error_code ignored;
                beast::get_lowest_layer(session->socket_).socket().close(ignored);
            }
        });
        request_ = std::move(request);
        socket_.async_accept(request_, [self](beast::error_code error) {
            if (error) {
                self->finish();
                return;
            }
            self->read();
        });
    }

  private:
    void read() {
        socket_.async_read(buffer_,
                           [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                               self->onRead(error);
                           });
    }

    void onRead(beast::error_code error) {
        if (error == websocket::error::message_too_big) {
            // Beast closes with 1009; nothing more to say on this socket.
            log(ZAMLOG_LEVEL_INFO, "onRead", "closed a WebSocket whose message was too large");
        }
        if (error) {
            finish();
            return;
        }
        const std::string text = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        handle(text);
    }

    // One message at a time: the next is read once this one is answered, so answers and the
    // notifications a call causes arrive in the order they happened.
    void handle(const std::string& text) {
        const Json message = Json::parse(text, nullptr, false);
        if (message.is_discarded() || !message.is_object()) {
            return answer(nullptr, ConsoleApi::failure(400, "the message is not a JSON object"));
        }
        const Json id = message.contains("id") ? message["id"] : Json(nullptr);
        const std::string op = message.contains("op") && message["op"].is_string()
                                   ? message["op"].get<std::string>()
                                   : std::string();
        auto text_of = [&](const char* key) {
            return message.contains(key) && message[key].is_string()
                       ? message[key].get<std::string>()
                       : std::string();
        };
        State& state = *slot_.state();
        if (op == "call") {
            const std::string method = text_of("method");
            const std::string target = text_of("target");
            const std::string body =
                message.contains("body") ? dumped(message["body"]) : std::string();
            ConsoleCall call;
            ConsoleAnswer refusal;
            if (!ConsoleApi::decode(method, target, body, call, refusal)) {
                return answer(id, refusal);
            }
            if (call.kind == ConsoleCall::Kind::Status) {
                return answer(id, {200, state.statusJson()});
            }
            if (call.kind == ConsoleCall::Kind::Statistics) {
                return answer(id, {200, TextJson::statistics(reportStatistics(*state.unified))});
            }
            return onDispatcher(id, kindName(call.kind),
                                [&state, call] { return state.execute(call); });
        }
        if (op == "watch") {
            const std::string path = text_of("path");
            const std::string label = text_of("label").empty() ? path : text_of("label");
            if (path.empty()) {
                return answer(id, ConsoleApi::failure(400, "watch needs a \"path\""));
            }
            if (watches_.size() >= state.options.limits.watchesPerConnection) {
                return answer(
                    id, ConsoleApi::failure(
                            429, "a connection may hold at most " +
                                     std::to_string(state.options.limits.watchesPerConnection) +
                                     " watches"));
            }
            if (watches_.count(label) != 0) {
                return answer(id, ConsoleApi::failure(422, "already watching " + label));
            }
            const std::string key = "console-" + std::to_string(id_) + ":" + label;
            watches_.insert(label);
            auto weak = std::weak_ptr<WebSocketSession>(this->shared_from_this());
            auto stateRef = slot_.state();
            auto event = [weak, stateRef](const std::string& json) {
                stateRef->postEvent([weak, json] {
                    if (auto session = weak.lock()) {
                        session->send("{\"event\":\"change\"," + json.substr(1));
                    }
                });
            };
            return onDispatcher(
                id, "watch",
                [&state, path, label, key, event] {
                    return state.api->watch(path, label, event, key);
                },
                [label](const ConsoleAnswer& result, WebSocketSession& session) {
                    if (result.status != 200) {
                        session.watches_.erase(label);
                    }
                });
        }
        if (op == "unwatch") {
            const std::string label = text_of("label");
            if (watches_.count(label) == 0) {
                return answer(id, ConsoleApi::failure(404, "not watching \"" + label + "\""));
            }
            watches_.erase(label);
            const std::string key = "console-" + std::to_string(id_) + ":" + label;
            return onDispatcher(id, "unwatch", [&state, key] { return state.api->unwatch(key); });
        }
        if (op == "stats") {
            const bool on =
                message.contains("on") && message["on"].is_boolean() && message["on"].get<bool>();
            const bool begin = on && !pushing_;
            pushing_ = on;
            answer(id, {200, dumped(Json{{"ok", true}, {"stats", on}})});
            if (begin) {
                pushStatistics();
            }
            return;
        }
        return answer(id, ConsoleApi::failure(400, op.empty() ? "the message needs an \"op\""
                                                              : "no such op: " + op));
    }

    using After = std::function<void(const ConsoleAnswer&, WebSocketSession&)>;
    void onDispatcher(const Json& id, const char* name, std::function<ConsoleAnswer()> work,
                      After after = nullptr) {
        auto self = this->shared_from_this();
        State& state = *slot_.state();
        state.onWorker([self, id, name, work = std::move(work), after = std::move(after)] {
            const ConsoleAnswer result = self->slot_.state()->onDispatcher(work, name);
            asio::post(self->socket_.get_executor(), [self, id, result, after] {
                if (after) {
                    after(result, *self);
                }
                self->answer(id, result);
            });
        });
    }

    void answer(const Json& id, const ConsoleAnswer& result) {
        Json json{{"id", id},
                  {"status", result.status},
                  {"body", Json::parse(result.body, nullptr, false)}};
        if (result.carriedSecret) {
            json["carriedSecret"] = true;
        }
        send(dumped(json));
        read();
    }

    void pushStatistics() {
        if (!pushing_ || closed_) {
            return;
        }
        State& state = *slot_.state();
        send("{\"event\":\"stats\",\"stats\":" +
             TextJson::statistics(reportStatistics(*state.unified)) + "}");
        timer_.expires_after(std::chrono::seconds(1));
        timer_.async_wait([self = this->shared_from_this()](beast::error_code error) {
            if (!error) {
                self->pushStatistics();
            }
        });
    }

    void send(std::string text) {
        if (closed_) {
            return;
        }
        outbox_.push_back(std::move(text));
        if (outbox_.size() == 1) {
            write();
        }
    }

    void write() {
        socket_.text(true);
        socket_.async_write(
            asio::buffer(outbox_.front()),
            [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                if (error) {
                    self->finish();
                    return;
                }
                self->outbox_.pop_front();
                if (!self->outbox_.empty()) {
                    self->write();
                }
            });
    }

    // The socket is done: its watches end on the dispatcher thread (or, when the host does not
    // pump in time, go quiet: their notifications find no session).
    void finish() {
        if (closed_) {
            return;
        }
        closed_ = true;
        pushing_ = false;
        timer_.cancel();
        outbox_.clear();
        State& state = *slot_.state();
        state.removeCloser(id_);
        if (watches_.empty()) {
            return;
        }
        std::vector<std::string> keys;
        for (const std::string& label : watches_) {
            keys.push_back("console-" + std::to_string(id_) + ":" + label);
        }
        watches_.clear();
        auto stateRef = slot_.state();
        state.onWorker([stateRef, keys] {
            stateRef->onDispatcher(
                [&] {
                    for (const std::string& key : keys) {
                        stateRef->api->unwatch(key);
                    }
                    return ConsoleAnswer{};
                },
                "unwatch");
        });
    }

    websocket::stream<Stream> socket_;
    ConnectionSlot slot_;
    Request request_;  // the upgrade, kept while the handshake answers it
    asio::steady_timer timer_;
    const std::uint64_t id_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
    std::set<std::string> watches_;  // labels
    bool pushing_ = false;
    bool closed_ = false;
};

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
            headerOf(request, http::field::host), headerOf(request, http::field::origin),
            request.find(http::field::origin) != request.end());
        if (!refusal.empty()) {
            return reply(failureResponse(request, 403, refusal));
        }
        if (path == "/login") {
            return login(request, target);
        }
        if (!state.gate->admits(headerOf(request, http::field::authorization),
                                headerOf(request, http::field::cookie))) {
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

template <class Acceptor>
void accept(const std::shared_ptr<State>& state, Acceptor& acceptor) {
    acceptor.async_accept([state, &acceptor](beast::error_code error,
                                             typename Acceptor::protocol_type::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (!error) {
            const bool overLimit = state->connections >= state->options.limits.connections;
            std::make_shared<HttpSession<typename Acceptor::protocol_type>>(std::move(socket),
                                                                            state)
                ->start(overLimit);
        }
        accept(state, acceptor);
    });
}

std::set<std::string> hostNames(const Endpoint& endpoint) {
    std::set<std::string> names;
    if (!endpoint.tcp) {
        return names;
    }
    const std::string port = ":" + std::to_string(endpoint.port);
    const bool v6 = endpoint.host.find(':') != std::string::npos;
    names.insert((v6 ? "[" + endpoint.host + "]" : endpoint.host) + port);
    const auto address = asio::ip::make_address(endpoint.host);
    if (address.is_unspecified()) {
        // Listening everywhere (allowRemote): callers name the machine as they know it; the
        // token and the Origin check still hold.
        return {};
    }
    if (address.is_loopback()) {
        names.insert("localhost" + port);
        names.insert("127.0.0.1" + port);
        names.insert("[::1]" + port);
    }
    return names;
}

}  // namespace

Server::Server(ServiceFactory& factory, ConsoleOptions options)
    : state_(std::make_shared<State>(factory, std::move(options))) {}

Server::~Server() {
    stop();
}

const std::string& Server::endpoint() const {
    return state_->endpoint;
}

const std::string& Server::token() const {
    return state_->gate->token();
}

std::string Server::start() {
    State& state = *state_;
    Endpoint endpoint = parseEndpoint(state.options.endpoint);
    state.unified = state.factory.getUnifiedFactory();
    if (!state.unified) {
        throw std::invalid_argument("the console needs the factory that GetFactory() answers");
    }
    const std::string token = state.options.token.empty() ? randomHex(16) : state.options.token;
    if (endpoint.tcp) {
        beast::error_code error;
        const auto address = asio::ip::make_address(endpoint.host, error);
        if (error) {
            throw std::invalid_argument("the console's host \"" + endpoint.host +
                                        "\" is not an IP address");
        }
        if (!isLoopback(address) && !state.options.allowRemote) {
            throw std::invalid_argument(
                "the console listens on loopback addresses only unless allowRemote is set; "
                "\"" +
                endpoint.host + "\" is not one");
        }
        state.tcpAcceptor = std::make_unique<asio::ip::tcp::acceptor>(*state.io);
        const asio::ip::tcp::endpoint where(address, endpoint.port);
        state.tcpAcceptor->open(where.protocol(), error);
        if (!error) {
            state.tcpAcceptor->set_option(asio::socket_base::reuse_address(true), error);
            state.tcpAcceptor->bind(where, error);
        }
        if (!error) {
            state.tcpAcceptor->listen(asio::socket_base::max_listen_connections, error);
        }
        if (error) {
            throw std::runtime_error("the console cannot listen on " + state.options.endpoint +
                                     ": " + error.message());
        }
        endpoint.port = state.tcpAcceptor->local_endpoint().port();
    } else {
        if (endpoint.path.empty()) {
            endpoint.path =
                consoleDiscoveryFolder(true) + "/console-" + std::to_string(getpid()) + ".sock";
        }
        // A socket left by a process that ended without removing it would make bind fail.
        struct stat status {};
        if (lstat(endpoint.path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) {
            ::unlink(endpoint.path.c_str());
        }
        state.unixAcceptor = std::make_unique<asio::local::stream_protocol::acceptor>(*state.io);
        beast::error_code error;
        const asio::local::stream_protocol::endpoint where(endpoint.path);
        // Made private before anyone can connect: the umask holds the mode while it binds.
        const mode_t previous = ::umask(0177);
        state.unixAcceptor->open(where.protocol(), error);
        if (!error) {
            state.unixAcceptor->bind(where, error);
        }
        ::umask(previous);
        if (!error) {
            state.unixAcceptor->listen(asio::socket_base::max_listen_connections, error);
        }
        if (error) {
            throw std::runtime_error("the console cannot listen on unix:" + endpoint.path + ": " +
                                     error.message());
        }
        state.socketPath = endpoint.path;
        ::chmod(endpoint.path.c_str(), 0600);
    }
    state.endpoint = formatEndpoint(endpoint);
    state.gate = std::make_unique<Gate>(token, hostNames(endpoint));
    state.api =
        std::make_unique<ConsoleApi>(state.unified, TextOptions{state.options.revealSecrets});
    try {
        state.discoveryPath = writeDiscoveryFile(state.endpoint, token, state.options.program);
    } catch (...) {
        if (!state.socketPath.empty()) {
            ::unlink(state.socketPath.c_str());
        }
        throw;
    }
    state.workers = std::make_unique<asio::thread_pool>(kWorkers);
    if (state.tcpAcceptor) {
        accept(state_, *state.tcpAcceptor);
    } else {
        accept(state_, *state.unixAcceptor);
    }
    state.ioThread = std::thread([&state] { state.io->run(); });

    std::string message =
        "Console serving at " + state.endpoint + "; the token is in " + state.discoveryPath;
    if (endpoint.tcp) {
        const bool v6 = endpoint.host.find(':') != std::string::npos;
        message += "; open http://" + (v6 ? "[" + endpoint.host + "]" : endpoint.host) + ":" +
                   std::to_string(endpoint.port) + "/login?token=" + token + " in a browser";
    }
    log(ZAMLOG_LEVEL_INFO, "start", message);
    return state.endpoint;
}

void Server::stop() {
    State& state = *state_;
    if (!state.ioThread.joinable()) {
        return;
    }
    // No new connections, and every open one closed: a call in flight still runs (once) or is
    // withdrawn, and its answer finds no one to read it.
    std::promise<void> closed;
    asio::post(*state.io, [&state, &closed] {
        beast::error_code ignored;
        if (state.tcpAcceptor) {
            state.tcpAcceptor->close(ignored);
        }
        if (state.unixAcceptor) {
            state.unixAcceptor->close(ignored);
        }
        std::map<std::uint64_t, std::function<void()>> closers;
        {
            std::lock_guard<std::mutex> lock(state.closersMutex);
            closers = state.closers;
        }
        for (auto& entry : closers) {
            entry.second();
        }
        closed.set_value();
    });
    closed.get_future().wait();
    // Calls in flight wait for the dispatcher thread; when that is this thread, it pumps.
    const bool onDispatcher = state.unified->getServicesDispatcher()->checkForUpdateAccess();
    {
        std::unique_lock<std::mutex> lock(state.flightMutex);
        while (state.inFlight > 0) {
            if (onDispatcher) {
                lock.unlock();
                try {
                    state.factory.pumpAllDispatcherTasks();
                } catch (...) {
                    // A host's task that throws is the host's; the console only needs its own.
                }
                lock.lock();
                state.flightDone.wait_for(lock, std::chrono::milliseconds(5));
            } else {
                state.flightDone.wait(lock);
            }
        }
    }
    state.workers->join();
    {
        std::lock_guard<std::mutex> lock(state.eventMutex);
        state.eventsOpen = false;
    }
    state.io->stop();
    state.ioThread.join();
    state.tcpAcceptor.reset();
    state.unixAcceptor.reset();
    state.io.reset();
    // The watches end where they were made; a host that does not pump keeps them connected to
    // notifications that reach no one, rather than have them torn down under its services.
    if (onDispatcher) {
        state.api.reset();
    } else {
        auto* api = state.api.release();
        const bool ran = state.unified->getServicesDispatcher()->runOnDispatcherThread(
            [api] { delete api; }, state.options.requestTimeout, "console stop");
        if (!ran) {
            log(ZAMLOG_LEVEL_WARNING, "stop",
                "The host did not pump while the console stopped; its watches stay connected");
        }
    }
    if (!state.socketPath.empty()) {
        ::unlink(state.socketPath.c_str());
    }
    if (!state.discoveryPath.empty()) {
        ::unlink(state.discoveryPath.c_str());
    }
    log(ZAMLOG_LEVEL_INFO, "stop", "Console at " + state.endpoint + " stopped");
}

}  // namespace detail
}  // namespace ZAMUnified
