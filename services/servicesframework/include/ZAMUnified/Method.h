// ZAMUnified::Method: one overload of a named operation of a reflected object. Service libraries
// derive from it; the interpreter picks the first overload whose matchesParameters() accepts the
// argument list and invokes it.
//
// Threading: invoke() follows the owning service's rules.
// Failure: an argument list that does not fit is refused by matchesParameters().
#ifndef ZAMUNIFIED_METHOD_H
#define ZAMUNIFIED_METHOD_H

#include <memory>
#include <string>

namespace ZAMUnified {

class ParametersCollection;
class ReturnValue;

class Method {
  public:
    // `parameters` describes the parameter list for people; the framework never parses it.
    Method(const std::string& returnType, const std::string& parameters,
           const std::string& methodName);
    virtual ~Method();

    // True when `parameters` (possibly empty) fits this overload in number and types.
    virtual bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) = 0;
    virtual std::shared_ptr<ReturnValue> invoke(
        std::shared_ptr<ParametersCollection> parameters) = 0;

    const std::string& getReturnType() const { return returnType; }
    const std::string& getParameters() const { return parameters; }
    const std::string& getMethodName() const { return methodName; }

  protected:
    std::string returnType;
    std::string parameters;
    std::string methodName;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_METHOD_H
