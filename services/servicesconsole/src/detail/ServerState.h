// What the console's server and its sessions share: the server's state (options, the I/O
// context, the workers that wait for the dispatcher, the counts behind the limits), its log, and
// the responses every answer is made of. Private to the server's sources.
#ifndef SERVICESCONSOLE_DETAIL_SERVERSTATE_H
#define SERVICESCONSOLE_DETAIL_SERVERSTATE_H

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

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using Json = nlohmann::ordered_json;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

namespace server {

const char* const kContentSecurityPolicy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'";
constexpr int kWorkers = 8;

inline ZAMLogger* logger() {
    static ZAMLogger* const instance = ZAMLogger_getLogger("services-console");
    return instance;
}

inline void log(int level, const char* function, const std::string& message) {
    ZAMLog(logger(), level, __FILE__, __LINE__, function, message);
}

inline std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace server

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
                answer.body = server::dumped(json);
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
        return server::dumped(Json{{"pid", getpid()},
                                   {"program", options.program},
                                   {"endpoint", endpoint},
                                   {"revealSecrets", options.revealSecrets},
                                   {"uptimeMs", uptime.count()}});
    }
};

namespace server {

using State = Server::State;

inline const char* kindName(ConsoleCall::Kind kind) {
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

inline Response makeResponse(const Request& request, http::status status, std::string body,
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

inline Response answerResponse(const Request& request, const ConsoleAnswer& answer) {
    return makeResponse(request, static_cast<http::status>(answer.status), answer.body);
}

inline Response failureResponse(const Request& request, int status, const std::string& message) {
    return answerResponse(request, ConsoleApi::failure(status, message));
}

}  // namespace server
}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_SERVERSTATE_H
