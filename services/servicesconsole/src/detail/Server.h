// The console's server: Boost.Beast HTTP/1.1 and WebSocket sessions on one I/O thread, calls
// that need the host's dispatcher thread on a small pool of workers that wait for it (bounded
// by the request timeout), and the API, the page and the login around them.
// Threading: start() and stop() from the thread that owns the Server; everything else on the
// I/O thread, the workers, or (notifications) the dispatcher thread. Failure: start() throws
// std::runtime_error when it cannot listen; a session's failure closes that session only.
#ifndef SERVICESCONSOLE_DETAIL_SERVER_H
#define SERVICESCONSOLE_DETAIL_SERVER_H

#include <ZAMUnified/Console.h>
#include <ZAMUnified/ConsoleApi.h>

#include <memory>
#include <string>

namespace ZAMUnified {
namespace detail {

class Server {
  public:
    Server(ServiceFactory& factory, ConsoleOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens and answers the endpoint it listens on.
    std::string start();
    void stop();
    const std::string& endpoint() const;
    const std::string& token() const;

    struct State;  // shared with the sessions

  private:
    std::shared_ptr<State> state_;
};

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_SERVER_H
