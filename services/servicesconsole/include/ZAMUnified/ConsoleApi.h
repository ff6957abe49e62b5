// ZAMUnified::ConsoleApi: the console's JSON API without its transport. A call is a method, a
// target ("/v1/services", "/v1/describe?path=HelloWorldService") and a body; the answer is an HTTP
// status and one line of JSON in the framework's JSON form (TextJson). The console's server
// answers HTTP and WebSocket calls with it, and svcsh answers its commands with it in-process, so
// a command prints the same whether the host is this process or another.
//
// decode() only reads the call: a malformed target, query or body is answered there (400, 404,
// 405) and never reaches service code. execute() runs the decoded call on the factory.
//
// Threading: decode() on any thread; execute(), watch() and unwatch() on the factory's
// dispatcher thread only, as the service code they reach expects, and so is the destructor (it
// ends the watches). Failure: every failure is an answer with a status of 400 or more and the
// body {"ok":false,"error":MESSAGE[,"why":REASON]}; nothing here throws.
#ifndef ZAMUNIFIED_CONSOLEAPI_H
#define ZAMUNIFIED_CONSOLEAPI_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/UnifiedFactory.h>

namespace ZAMUnified {

struct ConsoleAnswer {
    int status = 200;
    std::string body;  // one line of JSON
    // A run whose line held a secret argument: the line must not be kept or logged in clear.
    bool carriedSecret = false;
};

// What a call asks for, once decoded.
struct ConsoleCall {
    enum class Kind {
        Run,             // POST /v1/run {"line":LINE}
        Services,        // GET /v1/services
        Libraries,       // GET /v1/libraries
        Describe,        // GET /v1/describe?path=PATH
        Authenticators,  // GET /v1/authenticators
        Authenticator,   // GET /v1/authenticators/NAME-OR-ID
        FeatureSets,     // GET /v1/featuresets
        FeatureSet,      // GET /v1/featuresets/ID, POST /v1/featuresets/ID/start|stop
        Objects,         // GET /v1/objects
        Monitor,         // GET /v1/monitor
        Statistics,      // GET /v1/stats
        Status           // GET /v1/status: answered by the transport, without the dispatcher
    };
    Kind kind = Kind::Status;
    std::string text;      // Run: the line; Describe: the path; Authenticator: name or id
    unsigned int id = 0;   // FeatureSet
    std::string action;    // FeatureSet: "status", "start" or "stop"
    bool readOnly = true;  // changes nothing in the host (for logging and limits)
};

class ConsoleApi {
  public:
    ConsoleApi(std::shared_ptr<UnifiedFactory> factory, TextOptions options = {});
    ~ConsoleApi();
    ConsoleApi(const ConsoleApi&) = delete;
    ConsoleApi& operator=(const ConsoleApi&) = delete;

    // The call that `method` on `target` with `body` asks for, or (false) the refusal in
    // `refusal`. Pure: touches nothing but its arguments.
    static bool decode(const std::string& method, const std::string& target,
                       const std::string& body, ConsoleCall& call, ConsoleAnswer& refusal);
    ConsoleAnswer execute(const ConsoleCall& call);
    // decode() then execute(); a Status call answers 404 here, since only a transport knows it.
    ConsoleAnswer handle(const std::string& method, const std::string& target,
                         const std::string& body);

    // Follows the property that `path` ends in: `event` gets each change as the JSON line of
    // TextJson::notification under `label`, on the notifying thread. `key` (the label when
    // empty) names the watch for unwatch() and must be unique; a transport that serves several
    // clients makes it unique per client.
    using EventCallback = std::function<void(const std::string& json)>;
    ConsoleAnswer watch(const std::string& path, const std::string& label, EventCallback event,
                        const std::string& key = "");
    ConsoleAnswer unwatch(const std::string& key);

    // The text layer the calls run on (its objects, its member names for completion).
    TextInterpreter& text() { return text_; }

    // `text` percent-encoded, to stand as one segment or query value of a target, such as the
    // path in "/v1/describe?path=" + encodeComponent("Service/Owner").
    static std::string encodeComponent(const std::string& text);

    // {"ok":false,"error":MESSAGE[,"why":WHY]}
    static ConsoleAnswer failure(int status, const std::string& message,
                                 const std::string& why = "");

  private:
    ConsoleAnswer run(const std::string& line);
    ConsoleAnswer describe(const std::string& path);
    ConsoleAnswer authenticators();
    ConsoleAnswer authenticator(const std::string& nameOrId);
    ConsoleAnswer featureSets();
    ConsoleAnswer featureSet(const ConsoleCall& call);
    ConsoleAnswer monitor();
    ConsoleAnswer objects();

    std::shared_ptr<UnifiedFactory> factory_;
    TextInterpreter text_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_CONSOLEAPI_H
