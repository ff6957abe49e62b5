#include <ZAMUnified/Methods.h>

#include "common/detail/SameName.h"

#include <utility>

namespace ZAMUnified {

using zam::detail::sameName;

Methods::Methods()
    : methods(std::make_shared<std::multimap<std::string, std::shared_ptr<Method>, NameOrder>>()) {}

void Methods::addMethod(std::shared_ptr<Method> method) {
    // A multimap inserts after the equal keys already present, which keeps overloads in order.
    std::string name = method->getMethodName();
    methods->emplace(std::move(name), std::move(method));
}

std::vector<std::string> Methods::getMethodNames() const {
    std::vector<std::string> names;
    names.reserve(methods->size());
    for (const auto& entry : *methods) {
        names.push_back(entry.first);
    }
    return names;
}

std::shared_ptr<Method> Methods::getMethod(const std::string& name) const {
    // Among equal keys the first added is the lower bound.
    auto first = methods->lower_bound(name);
    if (first == methods->end() || first->first != name) {
        return nullptr;
    }
    return first->second;
}

std::shared_ptr<Method> Methods::getMethod(const std::string& name,
                                           std::shared_ptr<ParametersCollection> parameters) const {
    const std::shared_ptr<Method>* found = findOverload(name, parameters);
    return found ? *found : nullptr;
}

const std::shared_ptr<Method>* Methods::findOverload(
    std::string_view name, const std::shared_ptr<ParametersCollection>& parameters) const {
    // Equal keys follow one another from the lower bound on, in order of addition.
    for (auto it = methods->lower_bound(name); it != methods->end() && sameName(it->first, name);
         ++it) {
        if (sameName(it->second->getMethodName(), name) &&
            it->second->matchesParameters(parameters)) {
            return &it->second;
        }
    }
    return nullptr;
}

bool Methods::contains(std::string_view name) const {
    auto first = methods->lower_bound(name);
    return first != methods->end() && sameName(first->first, name);
}

std::vector<std::shared_ptr<Method>> Methods::getOverloads(const std::string& name) const {
    std::vector<std::shared_ptr<Method>> overloads;
    auto range = methods->equal_range(name);
    for (auto it = range.first; it != range.second; ++it) {
        overloads.push_back(it->second);
    }
    return overloads;
}

std::size_t Methods::size() const {
    return methods->size();
}

}  // namespace ZAMUnified
