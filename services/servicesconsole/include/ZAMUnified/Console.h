// ZAMUnified console: drive, inspect and watch this host's services from another process, with
// `svcsh --connect` or a browser. startConsole() serves the JSON API of ConsoleApi over HTTP/1.1
// and WebSocket on a Unix-domain socket (the default) or a loopback TCP port, with the web page at
// "/". Every call runs on the host's dispatcher thread, so the host must keep pumping; a call the
// host does not take up within the request timeout answers 504 and never runs later.
//
// Safe by default: the socket is mode 0600 in a 0700 folder; TCP listens on loopback unless
// allowRemote is set; every request carries the token (128 random bits unless given), as a
// bearer header or as the cookie a browser gets from the one-time link /login?token=TOKEN; Host
// and Origin are checked; secrets stay masked unless revealSecrets; limits answer 413, 431 and
// 503 and close idle and slow clients. The token reaches the operator once: in the discovery file
// console-<pid>.json (mode 0600, in $XDG_RUNTIME_DIR/servicesframework/ or
// /tmp/servicesframework-<uid>/) and in an info record of the "services-console" logger.
//
// One console runs in a process. Threading: start and stop from any thread; stopping from the
// dispatcher thread pumps it while requests in flight finish. Failure: startConsole throws
// std::invalid_argument for a bad endpoint or option and std::runtime_error when the console
// cannot start (one is running, the address is taken, the folder is unsafe).
#ifndef ZAMUNIFIED_CONSOLE_H
#define ZAMUNIFIED_CONSOLE_H

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <ZAMUnified/ServiceFactory.h>

namespace ZAMUnified {

struct ConsoleLimits {
    std::size_t bodyBytes = 1024 * 1024;    // request body, else 413
    std::size_t headerBytes = 16 * 1024;    // request line and headers, else 431
    std::size_t connections = 64;           // open at once, else 503 and closed
    std::chrono::milliseconds idle{30000};  // a client that sends nothing, or too slowly, is closed
    std::size_t messageBytes = 64 * 1024;   // a WebSocket message, else the socket closes (1009)
    std::size_t watchesPerConnection = 64;  // else the watch is refused
};

struct ConsoleOptions {
    // "unix" (a socket in the runtime folder), "unix:PATH", or "tcp:HOST:PORT" (port 0: any free
    // one). HOST must be a loopback address unless allowRemote.
    std::string endpoint = "unix";
    std::string token;           // empty: 128 random bits, hex
    bool revealSecrets = false;  // secure strings in clear in answers
    bool allowRemote = false;    // let a TCP endpoint listen on a non-loopback address
    // How long a call waits for the host's dispatcher thread to take it up.
    std::chrono::milliseconds requestTimeout{5000};
    ConsoleLimits limits;
    // Written into the discovery file; empty: this program's name.
    std::string program;
};

// Starts the process's console for the framework's factory (the one GetFactory answers) and
// answers its endpoint, such as "unix:/run/user/1000/servicesframework/console-42.sock" or
// "tcp:127.0.0.1:40123".
std::string startConsole(ServiceFactory& factory, const ConsoleOptions& options = {});
// Stops the console: no new connections, calls in flight answered or dropped (each runs once or
// not at all), watches ended, socket and discovery file removed. Does nothing when none runs.
void stopConsole();
// The running console's endpoint; empty when none runs.
std::string consoleEndpoint();
// The running console's token; empty when none runs.
std::string consoleToken();

// A console found through its discovery file.
struct ConsoleHost {
    std::string endpoint;
    std::string token;
    long pid = 0;
    std::string program;
    std::string file;  // the discovery file
};
// The folder discovery files go to (created, mode 0700, when `create`).
std::string consoleDiscoveryFolder(bool create = false);
// Every console whose discovery file is readable and whose process is alive, by pid.
std::vector<ConsoleHost> findConsoles();

}  // namespace ZAMUnified

// Used by the framework to start a console named by the environment (SF_CONSOLE) when it makes
// the factory; answers 0, or -1 after logging why it did not start.
extern "C" int ServicesConsole_startFromEnvironment(ZAMUnified::ServiceFactory* factory,
                                                    const char* endpoint);

#endif  // ZAMUNIFIED_CONSOLE_H
