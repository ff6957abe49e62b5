// A WebSocket connection of the console: watches, pushed statistics and API calls, each answer
// queued and written in order on the I/O thread.
#ifndef SERVICESCONSOLE_DETAIL_WEBSOCKETSESSION_H
#define SERVICESCONSOLE_DETAIL_WEBSOCKETSESSION_H

#include "detail/ServerState.h"

namespace ZAMUnified {
namespace detail {
namespace server {

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

}  // namespace server
}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_WEBSOCKETSESSION_H
