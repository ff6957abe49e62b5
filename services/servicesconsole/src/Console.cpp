// The process's one console: started in code or from SF_CONSOLE, stopped in code or at exit.
#include <ZAMUnified/Console.h>

#include <ZAMLogger.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "detail/Server.h"

namespace ZAMUnified {

namespace {

// Never destroyed: stopConsole() may run from an exit handler, after other statics are gone.
std::mutex& consoleMutex() {
    static auto* const mutex = new std::mutex();
    return *mutex;
}

detail::Server*& runningServer() {
    static detail::Server* server = nullptr;
    return server;
}

std::string programName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

void stopAtExit() {
    stopConsole();
}

}  // namespace

std::string startConsole(ServiceFactory& factory, const ConsoleOptions& options) {
    std::lock_guard<std::mutex> lock(consoleMutex());
    if (detail::Server* server = runningServer()) {
        throw std::runtime_error("a console is already running in this process, at " +
                                 server->endpoint() + "; stop it before starting another");
    }
    ConsoleOptions chosen = options;
    if (chosen.program.empty()) {
        chosen.program = programName();
    }
    auto server = std::make_unique<detail::Server>(factory, chosen);
    const std::string endpoint = server->start();
    runningServer() = server.release();
    // The discovery file and the socket go when the process ends, even if no one stops the
    // console.
    static const bool registered = std::atexit(stopAtExit) == 0;
    (void)registered;
    return endpoint;
}

void stopConsole() {
    detail::Server* server = nullptr;
    {
        std::lock_guard<std::mutex> lock(consoleMutex());
        server = runningServer();
        runningServer() = nullptr;
    }
    if (server != nullptr) {
        server->stop();
        delete server;
    }
}

std::string consoleEndpoint() {
    std::lock_guard<std::mutex> lock(consoleMutex());
    return runningServer() != nullptr ? runningServer()->endpoint() : std::string();
}

std::string consoleToken() {
    std::lock_guard<std::mutex> lock(consoleMutex());
    return runningServer() != nullptr ? runningServer()->token() : std::string();
}

}  // namespace ZAMUnified

extern "C" int ServicesConsole_startFromEnvironment(ZAMUnified::ServiceFactory* factory,
                                                    const char* endpoint) {
    ZAMLogger* logger = ZAMLogger_getLogger("services-console");
    try {
        ZAMUnified::ConsoleOptions options;
        options.endpoint = endpoint != nullptr && endpoint[0] != '\0' ? endpoint : "unix";
        ZAMUnified::startConsole(*factory, options);
        return 0;
    } catch (const std::exception& error) {
        ZAMLog(logger, ZAMLOG_LEVEL_WARNING, __FILE__, __LINE__, __func__,
               std::string("SF_CONSOLE names a console that did not start: ") + error.what());
        return -1;
    }
}
