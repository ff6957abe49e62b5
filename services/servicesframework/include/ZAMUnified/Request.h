// ZAMUnified::Request: one textual call chain for the Interpreter: a path of names joined by "/"
// (a start, then one property or method per step) and, per name, the argument list to pass.
//
// Threading: no lock; a request belongs to one caller and serves one execution at a time.
// Failure: nothing here fails; an exhausted path and a name without arguments answer "" and an
// empty pointer, which the Interpreter turns into InterpreterResult messages.
#ifndef ZAMUNIFIED_REQUEST_H
#define ZAMUNIFIED_REQUEST_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/ParametersCollection.h>

namespace ZAMUnified {

class Request {
  public:
    // Every piece between separators becomes one name, empty pieces included; the last piece is
    // kept as the last method for good, "" when the text is empty.
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

  private:
    std::string executionPath;
    std::string lastMethod;
    std::vector<std::string> methodNames;
    std::map<std::string, std::shared_ptr<ParametersCollection>> parameterCollections;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REQUEST_H
