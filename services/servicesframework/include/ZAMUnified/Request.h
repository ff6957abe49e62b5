// ZAMUnified::Request: one textual call chain for the Interpreter: a path of names joined by "/"
// (a start, then one property or method per step) and, per name, the argument list to pass.
//
// Threading: no lock; a request belongs to one caller and serves one execution at a time.
// Failure: nothing here fails; an exhausted path and a name without arguments answer "" and an
// empty pointer, which the Interpreter turns into InterpreterResult messages.
#ifndef ZAMUNIFIED_REQUEST_H
#define ZAMUNIFIED_REQUEST_H

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/ParametersCollection.h>

namespace ZAMUnified {

class Interpreter;
class Reflector;

class Request {
  public:
    // Every piece that KORCoreUtils::split yields for the separator "/" becomes one name, empty
    // pieces included; the last piece is kept as the last method for good, "" when there is none.
    explicit Request(std::string executionPath);

    const std::string& getExecutionPath() const { return executionPath; }
    // Unchanged by getNextMethod().
    const std::string& getLastMethod() const { return lastMethod; }
    // The names not yet consumed, in path order.
    std::vector<std::string> getMethodNames() const;
    // Removes and returns the first remaining name; "" once none remain, on every call.
    std::string getNextMethod();

    // Appends to the collection attached to `methodName`, or attaches a new one holding only
    // this parameter. An empty parameter pointer is ignored.
    void addParameterToMethod(std::string methodName, std::shared_ptr<FormalParameter> parameter);
    // Attaches `collection` itself (shared, not copied) unless the name has one already: the
    // first collection stays. An empty pointer is ignored.
    void addParameterCollectionToMethod(std::string methodName,
                                        std::shared_ptr<ParametersCollection> collection);
    // Exact, case-sensitive name; empty when nothing is attached.
    std::shared_ptr<ParametersCollection> getParameterCollectionByMethod(
        std::string methodName) const;

    // For a text front end that can type a step's arguments only once it knows the object they go
    // to. When the interpreter reaches a name without an attached collection, it asks `resolver`
    // with the reflector of the object the step runs on (null when the value before it has none)
    // and the name, just before the step runs, and passes the answer to that step alone; so the
    // resolver hears of every such step, in path order, once. What the resolver throws passes out
    // of Interpreter::execute() and subscribe() unchanged. Without a resolver (the default) every
    // step takes what is attached, as before.
    using ArgumentResolver = std::function<std::shared_ptr<ParametersCollection>(
        const Reflector* reflector, std::string_view name)>;
    void setArgumentResolver(ArgumentResolver resolver);

  private:
    // The interpreter walks the path through these, so that running a request copies neither
    // names nor collection pointers.
    friend class Interpreter;
    // getNextMethod() as a view into the request's own text, valid as long as this request.
    std::string_view takeNextMethod();
    // The attached collection itself, or an empty pointer.
    const std::shared_ptr<ParametersCollection>& findParameterCollection(
        std::string_view methodName) const;
    // findParameterCollection(), asking the resolver (if any) for a name without a collection.
    const std::shared_ptr<ParametersCollection>& argumentsForStep(std::string_view methodName,
                                                                  const Reflector* reflector);

    std::string executionPath;
    std::string lastMethod;
    // A path without empty pieces (none at either end, no two separators in a row) has the same
    // pieces whichever way it is split: its names are cut from it as they are consumed, and
    // nextMethodStart is where the first name not yet consumed starts (npos once none remain).
    // Any other path is split by KORCoreUtils::split, which decides about its empty pieces, into
    // splitNames, consumed from nextSplitName on.
    bool cutInPlace;
    std::size_t nextMethodStart;
    std::vector<std::string> splitNames;
    std::size_t nextSplitName;
    // Requests mostly attach arguments to one name: the first name given a collection is kept
    // here, without a map entry of its own, and any further names in the map.
    std::string firstCollectionName;
    std::shared_ptr<ParametersCollection> firstCollection;
    std::map<std::string, std::shared_ptr<ParametersCollection>, std::less<>> parameterCollections;
    ArgumentResolver argumentResolver;
    // The resolver's answer for the step running now.
    std::shared_ptr<ParametersCollection> resolvedArguments;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REQUEST_H
