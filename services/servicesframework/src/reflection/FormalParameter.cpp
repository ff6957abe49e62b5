#include <ZAMUnified/FormalParameter.h>

namespace ZAMUnified {

FormalParameter::FormalParameter(const std::string& type, const std::string& name)
    : parameterType(type), parameterName(name) {}

FormalParameter::~FormalParameter() = default;

}  // namespace ZAMUnified
