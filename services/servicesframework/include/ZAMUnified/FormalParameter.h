// ZAMUnified::FormalParameter: one argument of a reflected call, described by its type name (such
// as "int", "list(string)" or a type a service library registered) and its name. Argument lists
// hold these; ActualParameter<T> adds the value.
//
// Threading: immutable after construction; any thread may read it.
// Failure: nothing to report; the accessors cannot fail.
#ifndef ZAMUNIFIED_FORMALPARAMETER_H
#define ZAMUNIFIED_FORMALPARAMETER_H

#include <string>

namespace ZAMUnified {

class FormalParameter {
  public:
    FormalParameter(const std::string& parameterType, const std::string& parameterName);
    // Pure so that only parameters that carry a value are made; it has a body.
    virtual ~FormalParameter() = 0;

    // The type name exactly as the creating code wrote it; an alias stays as written.
    const std::string& getParameterType() const { return parameterType; }
    const std::string& getParameterName() const { return parameterName; }

  protected:
    std::string parameterType;
    std::string parameterName;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FORMALPARAMETER_H
