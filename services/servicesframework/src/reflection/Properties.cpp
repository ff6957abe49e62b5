#include <ZAMUnified/Properties.h>

#include <utility>

namespace ZAMUnified {

void Properties::addProperty(std::shared_ptr<Property> property) {
    std::string name = property->getPropertyName();
    properties.emplace(std::move(name), std::move(property));
}

std::vector<std::string> Properties::getPropertyNames() const {
    std::vector<std::string> names;
    names.reserve(properties.size());
    for (const auto& entry : properties) {
        names.push_back(entry.first);
    }
    return names;
}

std::shared_ptr<Property> Properties::getProperty(const std::string& name) const {
    auto found = properties.find(name);
    return found == properties.end() ? nullptr : found->second;
}

std::shared_ptr<Property> Properties::getProperty(
    const std::string& name, std::shared_ptr<ParametersCollection> parameters) const {
    std::shared_ptr<Property> property = getProperty(name);
    if (property && property->matchesParameters(std::move(parameters))) {
        return property;
    }
    return nullptr;
}

std::size_t Properties::size() const {
    return properties.size();
}

}  // namespace ZAMUnified
