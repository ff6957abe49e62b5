#include <ZAMUnified/ReflectionCallbackFactory.h>

#include <map>
#include <utility>

namespace ZAMUnified {

namespace {

// Built on first use, so a registration made from any static initialiser finds its map.
std::map<std::string, ReflectionCallbackFactoryMethod>& factoryMethodMap() {
    static std::map<std::string, ReflectionCallbackFactoryMethod> map;
    return map;
}

}  // namespace

void ReflectionCallbackFactory::AddCallbackFactoryMethodForCallback(
    std::string callbackName, ReflectionCallbackFactoryMethod method) {
    factoryMethodMap()[std::move(callbackName)] = std::move(method);
}

std::shared_ptr<ReflectionCallback> ReflectionCallbackFactory::GetReflectionCallback(
    std::string callbackName) {
    auto found = factoryMethodMap().find(callbackName);
    if (found == factoryMethodMap().end()) {
        return nullptr;
    }
    return found->second(std::move(callbackName));
}

}  // namespace ZAMUnified
