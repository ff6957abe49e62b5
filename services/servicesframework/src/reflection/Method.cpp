#include <ZAMUnified/Method.h>

namespace ZAMUnified {

Method::Method(const std::string& resultType, const std::string& parameterText,
               const std::string& name)
    : returnType(resultType), parameters(parameterText), methodName(name) {}

Method::~Method() = default;

}  // namespace ZAMUnified
