#include "{{Name}}Service.h"

#include <utility>

namespace {{namespace}} {

{{Name}}Service::{{Name}}Service(std::shared_ptr<ZAMUnified::UnifiedFactory> factory)
    : ServiceBase(std::move(factory)) {}

void {{Name}}Service::setLevel(double level) {
    EnsureUpdateAccess(true);
    level_ = level;
    levelChanged.notify();
}

std::string {{Name}}Service::greet() const {
    return "Hello from {{Name}}";
}

std::string {{Name}}Service::greet(const std::string& name) const {
    return "Hello, " + name + ", from {{Name}}";
}

double {{Name}}Service::adjust(double delta) {
    setLevel(level_ + delta);
    return level_;
}

}  // namespace {{namespace}}
