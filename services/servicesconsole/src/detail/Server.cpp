#include "detail/Server.h"

#include <sys/stat.h>
#include <unistd.h>

#include "detail/Discovery.h"
#include "detail/Endpoint.h"
#include "detail/HttpSession.h"

namespace ZAMUnified {
namespace detail {

// The sessions and the helpers they share live in server::, private to these sources.
using namespace server;

namespace {

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
        if (!address.is_loopback() && !state.options.allowRemote) {
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