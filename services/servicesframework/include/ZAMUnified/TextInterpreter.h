// ZAMUnified::TextInterpreter: runs lines of text against the services of a factory, for every
// text front end (svcsh, the console, a host's own). A line in the request syntax of
// RequestSyntax.h goes in, a TextResult comes out. The road is one: the line is parsed once, the
// service its path starts at is loaded on first use, each step's arguments are typed from the
// text or else from the declared signature of the object that step runs on, and the path is
// walked once by Interpreter::execute, so no getter on the path runs twice.
// Threading: the factory's dispatcher thread only, as the service code it calls expects.
// Failure: every failure (syntax, argument, interpreter message, an exception from service code)
// is a TextResult with ok false and a message; nothing here throws.
#ifndef ZAMUNIFIED_TEXTINTERPRETER_H
#define ZAMUNIFIED_TEXTINTERPRETER_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/RequestSyntax.h>
#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/TextResult.h>
#include <ZAMUnified/UnifiedFactory.h>

namespace ZAMUnified {

struct TextOptions {
    bool revealSecrets = false;  // secure strings in clear instead of masked
};

// What `describe` shows of a service or business object.
struct ObjectDescription {
    struct PropertyEntry {
        std::string name;
        std::string type;
        bool readOnly = false;
        std::string kind;         // "value", "list" or "mutable list"
        bool watchable = false;   // it has a change notifier, so `watch` can follow it
        std::string description;  // one line from its library (MemberDescription); may be ""
    };
    struct MethodEntry {
        std::string name;
        std::string returnType;
        std::string parameters;   // "int a, int b"
        std::string description;  // as a property's
    };
    std::string interfaceName;
    std::vector<PropertyEntry> properties;  // by name
    std::vector<MethodEntry> methods;       // by name, overloads in the order they were added
    // For a path that ends in a method or in a property whose value is not an object: that
    // member's name, and "method" or "property"; the entries then hold only that member, and
    // interfaceName is its owner's. Empty for an object.
    std::string member;
    std::string memberKind;
};

// A change that a watched list property announced: its flag and positions, as its library
// defines them; empty for a plain property.
struct PropertyChange {
    bool isListChange = false;
    bool flag = false;
    std::vector<int> positions;
};

class TextInterpreter {
  public:
    TextInterpreter(std::shared_ptr<UnifiedFactory> factory, TextOptions options = {});
    // The factory that GetFactory() answers; throws std::invalid_argument for any other.
    explicit TextInterpreter(ServiceFactory& factory, TextOptions options = {});
    // Ends every watch, so that no notification reaches an interpreter that is gone.
    ~TextInterpreter();

    TextInterpreter(const TextInterpreter&) = delete;
    TextInterpreter& operator=(const TextInterpreter&) = delete;

    // Runs one request line, such as "HelloWorldService/add(a=20, b=22)".
    TextResult run(const std::string& line);
    // The members of the service or object that `path` leads to, or the method or plain property
    // it ends in; the steps before the last are run (each member once) when there are any.
    TextResult describe(const std::string& path, ObjectDescription& description);

    // The property and method names of the object that `path` leads to, walking only steps that
    // read a property without arguments (a method is never called for this), in name order;
    // empty when the path does not lead to an object that way. For completing a member's name.
    std::vector<std::string> memberNames(const std::string& path);

    // Calls `callback` with the property's new value (on the notifying thread) every time the
    // property that `path` ends in announces a change. Labels are unique; a property without a
    // change notifier is refused, since it would never announce anything.
    using WatchCallback = std::function<void(const std::string& label, const TextResult& value,
                                             const PropertyChange& change)>;
    TextResult watch(const std::string& path, const std::string& label, WatchCallback callback);
    TextResult unwatch(const std::string& label);

    // Every business object that a result has shown, by GUID: "@<guid>" starts a path there.
    const UnifiedBusinessObjectMap& objects() const { return *objects_; }
    const TextOptions& options() const { return options_; }
    const std::shared_ptr<UnifiedFactory>& factory() const { return factory_; }

  private:
    // How far a request's walk got, for its failure message.
    struct Walk;
    // Readies `request` for `steps`: its start made known, every argument typed now or, where the
    // object decides the type, when the walk reaches its step. Throws detail::TextRequestFailure.
    std::shared_ptr<Walk> prepare(std::vector<RequestSyntax::Step> steps, Request& request);
    // The interpreter's failure for `walk`, saying where a long chain stopped.
    TextResult walkFailure(const Walk& walk, const std::string& message) const;
    void resolveStart(const std::vector<RequestSyntax::Step>& steps);
    std::shared_ptr<Reflector> startReflector(const RequestSyntax::Step& start, std::string& why);
    // The reflector of the object that the first `count` steps lead to, running them if there is
    // more than one; empty, with `failure` filled in, when there is none.
    std::shared_ptr<Reflector> objectAt(const std::vector<RequestSyntax::Step>& steps,
                                        std::size_t count, TextResult& failure);
    // Runs `body`, turning what it or service code throws into a failed result.
    TextResult guarded(const std::function<TextResult()>& body);
    void remember(const std::shared_ptr<ReturnValue>& value);

    std::shared_ptr<UnifiedFactory> factory_;
    TextOptions options_;
    std::string why_;  // the factory's reason for the service of the failing request
    std::shared_ptr<ReflectorMap> reflectors_ = std::make_shared<ReflectorMap>();
    std::shared_ptr<UnifiedBusinessObjectMap> objects_ =
        std::make_shared<UnifiedBusinessObjectMap>();
    Interpreter interpreter_{reflectors_};
    std::map<std::string, std::weak_ptr<PropertyNotifierConnection>> watches_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_TEXTINTERPRETER_H
