// A running host elsewhere, reached through its console: one WebSocket carries every call and
// every notification, in the order the host made them, so a change that a request causes prints
// before the request's answer, as it does locally.
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "Host.h"

namespace svcsh {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Json = nlohmann::ordered_json;
using ZAMUnified::ConsoleAnswer;

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

template <class Protocol>
class RemoteHost : public Host {
  public:
    RemoteHost(std::string endpoint, const typename Protocol::endpoint& where,
               const std::string& hostHeader, const std::string& token)
        : endpoint_(std::move(endpoint)), socket_(io_) {
        beast::get_lowest_layer(socket_).connect(where);
        socket_.set_option(
            websocket::stream_base::decorator([token](websocket::request_type& request) {
                request.set(beast::http::field::authorization, "Bearer " + token);
                request.set(beast::http::field::user_agent, "svcsh");
            }));
        beast::websocket::response_type response;
        beast::error_code error;
        socket_.handshake(response, hostHeader, "/v1/socket", error);
        if (error) {
            throw std::runtime_error(refusal(where, hostHeader, token, error));
        }
        read();
    }

    ConsoleAnswer call(const std::string& method, const std::string& target,
                       const std::string& body) override {
        Json message{{"op", "call"}, {"method", method}, {"target", target}};
        if (!body.empty()) {
            message["body"] = Json::parse(body, nullptr, false);
        }
        return exchange(std::move(message));
    }

    ConsoleAnswer run(const std::string& line) override {
        return call("POST", "/v1/run", dumped(Json{{"line", line}}));
    }

    ConsoleAnswer watch(const std::string& path, const std::string& label,
                        std::function<void(const std::string&)> event) override {
        ConsoleAnswer answer = exchange(Json{{"op", "watch"}, {"path", path}, {"label", label}});
        if (answer.status == 200) {
            watches_[label] = std::move(event);
        }
        return answer;
    }

    ConsoleAnswer unwatch(const std::string& label) override {
        ConsoleAnswer answer = exchange(Json{{"op", "unwatch"}, {"label", label}});
        watches_.erase(label);
        return answer;
    }

    void runLine(const std::function<void()>& line, const std::string&) override { line(); }

    bool pump(const std::function<void(const std::string&)>&) override {
        io_.restart();
        io_.poll();
        deliver();
        return true;
    }

    void wait(std::chrono::milliseconds limit) override {
        io_.restart();
        io_.run_one_for(limit);
    }

    std::vector<std::string> memberNames(const std::string&) override { return {}; }
    std::string remoteEndpoint() const override { return endpoint_; }
    ZAMUnified::ServiceFactory* localFactory() override { return nullptr; }

  private:
    // Why the console declined the WebSocket: it says so, in the answer to a plain request.
    static std::string refusal(const typename Protocol::endpoint& where,
                               const std::string& hostHeader, const std::string& token,
                               const beast::error_code& handshakeError) {
        asio::io_context io;
        typename Protocol::socket socket(io);
        beast::http::request<beast::http::empty_body> request{beast::http::verb::get, "/v1/status",
                                                              11};
        request.set(beast::http::field::host, hostHeader);
        request.set(beast::http::field::authorization, "Bearer " + token);
        beast::http::response<beast::http::string_body> response;
        beast::flat_buffer buffer;
        beast::error_code error;
        socket.connect(where, error);
        if (!error) {
            beast::http::write(socket, request, error);
        }
        if (!error) {
            beast::http::read(socket, buffer, response, error);
        }
        const Json json = Json::parse(response.body(), nullptr, false);
        if (!error && json.is_object() && json.contains("error")) {
            return json["error"].get<std::string>();
        }
        return "the console did not accept the connection: " + handshakeError.message();
    }

    // One read is always pending; what it brings waits in the inbox for the shell.
    void read() {
        socket_.async_read(buffer_, [this](beast::error_code error, std::size_t) {
            if (error) {
                lost_ = error.message();
                return;
            }
            inbox_.push_back(beast::buffers_to_string(buffer_.data()));
            buffer_.consume(buffer_.size());
            read();
        });
    }

    ConsoleAnswer exchange(Json message) {
        const long id = ++lastId_;
        message["id"] = id;
        beast::error_code error;
        if (lost_.empty()) {
            socket_.text(true);
            socket_.write(asio::buffer(dumped(message)), error);
        }
        if (!lost_.empty() || error) {
            return lostAnswer(error ? error.message() : lost_);
        }
        // Notifications that come first are printed first, as they happened first.
        for (;;) {
            while (!inbox_.empty()) {
                const std::string text = std::move(inbox_.front());
                inbox_.pop_front();
                Json json = Json::parse(text, nullptr, false);
                if (json.is_object() && json.contains("id") && json["id"] == id) {
                    ConsoleAnswer answer;
                    answer.status = json.value("status", 0);
                    answer.body = json.contains("body") ? dumped(json["body"]) : "{}";
                    answer.carriedSecret = json.value("carriedSecret", false);
                    return answer;
                }
                event(std::move(json));
            }
            if (!lost_.empty()) {
                return lostAnswer(lost_);
            }
            io_.restart();
            io_.run_one();
        }
    }

    ConsoleAnswer lostAnswer(const std::string& why) {
        return {0, dumped(Json{{"ok", false},
                               {"error", "the connection to " + endpoint_ + " is lost: " + why}})};
    }

    void deliver() {
        while (!inbox_.empty()) {
            Json json = Json::parse(inbox_.front(), nullptr, false);
            inbox_.pop_front();
            event(std::move(json));
        }
    }

    void event(Json json) {
        if (!json.is_object() || json.value("event", "") != "change") {
            return;
        }
        json.erase("event");
        const auto found = watches_.find(json.value("watch", ""));
        if (found != watches_.end()) {
            found->second(dumped(json));
        }
    }

    std::string endpoint_;
    asio::io_context io_;
    websocket::stream<typename Protocol::socket> socket_;
    beast::flat_buffer buffer_;
    std::deque<std::string> inbox_;
    std::map<std::string, std::function<void(const std::string&)>> watches_;
    long lastId_ = 0;
    std::string lost_;
};

}  // namespace

std::unique_ptr<Host> connectHost(const std::string& endpoint, const std::string& token) {
    try {
        if (endpoint.compare(0, 5, "unix:") == 0) {
            return std::make_unique<RemoteHost<asio::local::stream_protocol>>(
                endpoint, asio::local::stream_protocol::endpoint(endpoint.substr(5)), "localhost",
                token);
        }
        if (endpoint.compare(0, 4, "tcp:") == 0) {
            const std::string rest = endpoint.substr(4);
            const std::size_t colon = rest.rfind(':');
            if (colon != std::string::npos) {
                std::string host = rest.substr(0, colon);
                const std::string bare =
                    host.size() > 2 && host.front() == '[' ? host.substr(1, host.size() - 2) : host;
                const auto port = static_cast<unsigned short>(std::stoul(rest.substr(colon + 1)));
                return std::make_unique<RemoteHost<asio::ip::tcp>>(
                    endpoint, asio::ip::tcp::endpoint(asio::ip::make_address(bare), port), rest,
                    token);
            }
        }
    } catch (const boost::system::system_error& error) {
        throw std::runtime_error("cannot reach the console at " + endpoint + ": " +
                                 error.code().message());
    } catch (const std::logic_error&) {
        // A port or an address that does not parse: the endpoint's fault, said below.
    }
    throw std::runtime_error("the endpoint \"" + endpoint + "\" is not unix:PATH or tcp:HOST:PORT");
}

}  // namespace svcsh
