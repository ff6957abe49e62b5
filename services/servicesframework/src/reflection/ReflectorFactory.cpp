#include <ZAMUnified/ReflectorFactory.h>

#include <map>
#include <utility>

namespace ZAMUnified {

namespace {

// Built on first use, so a registration made from any static initialiser finds its map.
std::map<std::string, ReflectorFactoryMethod>& factoryMethodMap() {
    static std::map<std::string, ReflectorFactoryMethod> map;
    return map;
}

std::map<std::string, ReflectorFactoryMethodForStruct>& factoryMethodMapForStructs() {
    static std::map<std::string, ReflectorFactoryMethodForStruct> map;
    return map;
}

std::map<std::string, ReflectorFactoryMethodForEnum>& factoryMethodMapForEnums() {
    static std::map<std::string, ReflectorFactoryMethodForEnum> map;
    return map;
}

std::map<std::string, ReflectorFactoryMethodForCallback>& factoryMethodMapForCallbacks() {
    static std::map<std::string, ReflectorFactoryMethodForCallback> map;
    return map;
}

// Calls the function stored under `key` with `args`; empty when none is stored.
template <typename Map, typename... Args>
std::shared_ptr<Reflector> callRegistered(const Map& map, const std::string& key, Args&&... args) {
    auto found = map.find(key);
    if (found == map.end()) {
        return nullptr;
    }
    return found->second(std::forward<Args>(args)...);
}

}  // namespace

void ReflectorFactory::AddReflectorFactoryMethod(std::string interfaceName,
                                                 ReflectorFactoryMethod method) {
    factoryMethodMap()[std::move(interfaceName)] = std::move(method);
}

void ReflectorFactory::AddReflectorFactoryMethodForStruct(std::string typeName,
                                                          ReflectorFactoryMethodForStruct method) {
    factoryMethodMapForStructs()[std::move(typeName)] = std::move(method);
}

void ReflectorFactory::AddReflectorFactoryMethodForEnum(std::string typeName,
                                                        ReflectorFactoryMethodForEnum method) {
    factoryMethodMapForEnums()[std::move(typeName)] = std::move(method);
}

void ReflectorFactory::AddReflectorFactoryMethodForCallback(
    std::string interfaceName, ReflectorFactoryMethodForCallback method) {
    factoryMethodMapForCallbacks()[std::move(interfaceName)] = std::move(method);
}

std::shared_ptr<Reflector> ReflectorFactory::GetReflector(
    std::shared_ptr<UnifiedBusinessObject> object) {
    // An empty object has no interface name to look up.
    if (!object) {
        return nullptr;
    }
    const std::string key = object->getInterfaceName();
    return callRegistered(factoryMethodMap(), key, std::move(object));
}

std::shared_ptr<Reflector> ReflectorFactory::GetReflectorForStruct(std::string typeName,
                                                                   std::shared_ptr<void> value) {
    return callRegistered(factoryMethodMapForStructs(), typeName, std::move(value));
}

std::shared_ptr<Reflector> ReflectorFactory::GetReflectorForEnum(std::string typeName,
                                                                 std::string valueText) {
    return callRegistered(factoryMethodMapForEnums(), typeName, std::move(valueText));
}

std::shared_ptr<Reflector> ReflectorFactory::GetReflectorForCallback(
    std::shared_ptr<UnifiedCallback> callback) {
    if (!callback) {
        return nullptr;
    }
    const std::string key = callback->getInterfaceName();
    return callRegistered(factoryMethodMapForCallbacks(), key, std::move(callback));
}

}  // namespace ZAMUnified
