#include <ZAMUnified/Reflector.h>

namespace ZAMUnified {

Reflector::Reflector()
    : methods(std::make_shared<ZAMUnified::Methods>()),
      properties(std::make_shared<ZAMUnified::Properties>()) {}

Reflector::~Reflector() = default;

std::shared_ptr<ZAMUnified::Methods> Reflector::Methods() const {
    return methods;
}

std::shared_ptr<ZAMUnified::Properties> Reflector::Properties() const {
    return properties;
}

std::string Reflector::getBaseName() const {
    return "Reflector";
}

}  // namespace ZAMUnified
