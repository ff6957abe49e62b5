// svcsh::Host: the host the shell drives. Every command and request is a call of the console's
// JSON API (ZAMUnified::ConsoleApi) and the shell prints its answer, so a command prints the same
// for this process (LocalHost: the API in-process, on this thread, which is the dispatcher
// thread) as for a running host elsewhere (a remote host: the API over the console's
// WebSocket, with `svcsh --connect`).
// Threading: the shell's thread. Failure: calls answer failures as the API does (status 400 or
// more, {"ok":false,"error":...}); a remote host that cannot be reached answers status 0.
#ifndef SVCSH_HOST_H
#define SVCSH_HOST_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ServicesFramework.h>
#include <ZAMUnified/ConsoleApi.h>

namespace svcsh {

class Host {
  public:
    virtual ~Host() = default;

    virtual ZAMUnified::ConsoleAnswer call(const std::string& method, const std::string& target,
                                           const std::string& body = "") = 0;
    // POST /v1/run with `line`; locally the line's bytes reach the text layer as they are.
    virtual ZAMUnified::ConsoleAnswer run(const std::string& line) = 0;
    // `event` gets each change as the JSON line of a notification, while the shell pumps.
    virtual ZAMUnified::ConsoleAnswer watch(const std::string& path, const std::string& label,
                                            std::function<void(const std::string&)> event) = 0;
    virtual ZAMUnified::ConsoleAnswer unwatch(const std::string& label) = 0;

    // Runs `line` (the shell's handling of one line) as the host wants lines run.
    virtual void runLine(const std::function<void()>& line, const std::string& name) = 0;
    // Delivers what is due (dispatcher tasks here, notifications from afar); `failed` hears of a
    // task that threw. False when one did.
    virtual bool pump(const std::function<void(const std::string&)>& failed) = 0;
    // Waits up to `limit` for something to deliver.
    virtual void wait(std::chrono::milliseconds limit) = 0;

    // The member names that complete a path; empty where the host cannot say cheaply.
    virtual std::vector<std::string> memberNames(const std::string& path) = 0;
    // Empty for this process; else the endpoint, for messages.
    virtual std::string remoteEndpoint() const = 0;
    // The factory of this process, for what only a local host does (manifests); null remotely.
    virtual ZAMUnified::ServiceFactory* localFactory() = 0;
};

// The host that is this process.
std::unique_ptr<Host> makeLocalHost(ZAMUnified::ServiceFactory& factory,
                                    std::shared_ptr<ZAMUnified::UnifiedFactory> unified,
                                    bool revealSecrets);
// A console at `endpoint` ("unix:PATH", "tcp:HOST:PORT"), with its token; throws
// std::runtime_error saying why when it cannot be reached.
std::unique_ptr<Host> connectHost(const std::string& endpoint, const std::string& token);

}  // namespace svcsh

#endif  // SVCSH_HOST_H
