#include <ZAMUnified/ActualParameterFactory.h>

#include <utility>

namespace ZAMUnified {

namespace {

template <typename Function>
using Registry = std::map<std::string, Function>;

// One map per registry, built on first use so that a registration made from any static
// initialiser finds its map. The tag only tells the maps of one function type apart.
template <typename Function, int Tag>
Registry<Function>& registry() {
    static Registry<Function> map;
    return map;
}

enum Tag {
    kUnifiedBusinessObjects,
    kNullUnifiedBusinessObjects,
    kStructs,
    kEnums,
    kCallbacks,
    kListOfUnifiedBusinessObjects,
    kListOfStructs,
    kListOfEnums,
    kListOfCallbacks
};

auto& factoryMethodMapForUnifiedBusinessObjects =
    registry<ActualParameterFactoryMethodForObjects, kUnifiedBusinessObjects>;
auto& factoryMethodMapForNullUnifiedBusinessObjects =
    registry<ActualParameterFactoryMethodForNull, kNullUnifiedBusinessObjects>;
auto& factoryMethodMapForStructs = registry<ActualParameterFactoryMethodForText, kStructs>;
auto& factoryMethodMapForEnums = registry<ActualParameterFactoryMethodForText, kEnums>;
auto& factoryMethodMapForCallbacks = registry<ActualParameterFactoryMethodForCallbacks, kCallbacks>;
auto& factoryMethodMapForListOfUnifiedBusinessObjects =
    registry<ActualParameterFactoryMethodForObjects, kListOfUnifiedBusinessObjects>;
auto& factoryMethodMapForListOfStructs =
    registry<ActualParameterFactoryMethodForText, kListOfStructs>;
auto& factoryMethodMapForListOfEnums = registry<ActualParameterFactoryMethodForText, kListOfEnums>;
auto& factoryMethodMapForListOfCallbacks =
    registry<ActualParameterFactoryMethodForCallbacks, kListOfCallbacks>;

template <typename Function, typename... Args>
std::shared_ptr<FormalParameter> callRegistered(const Registry<Function>& map,
                                                const std::string& key, Args&&... args) {
    auto found = map.find(key);
    if (found == map.end()) {
        return nullptr;
    }
    return found->second(std::forward<Args>(args)...);
}

}  // namespace

void ActualParameterFactory::AddActualParameterFactoryMethodForUnifiedBusinessObject(
    std::string typeName, ActualParameterFactoryMethodForObjects method) {
    factoryMethodMapForUnifiedBusinessObjects()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
    std::string typeName, ActualParameterFactoryMethodForNull method) {
    factoryMethodMapForNullUnifiedBusinessObjects()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForStruct(
    std::string typeName, ActualParameterFactoryMethodForText method) {
    factoryMethodMapForStructs()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
    std::string typeName, ActualParameterFactoryMethodForText method) {
    factoryMethodMapForEnums()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForCallback(
    std::string typeName, ActualParameterFactoryMethodForCallbacks method) {
    factoryMethodMapForCallbacks()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForListOfUnifiedBusinessObject(
    std::string typeName, ActualParameterFactoryMethodForObjects method) {
    factoryMethodMapForListOfUnifiedBusinessObjects()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForListOfStruct(
    std::string typeName, ActualParameterFactoryMethodForText method) {
    factoryMethodMapForListOfStructs()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForListOfEnum(
    std::string typeName, ActualParameterFactoryMethodForText method) {
    factoryMethodMapForListOfEnums()[std::move(typeName)] = std::move(method);
}

void ActualParameterFactory::AddActualParameterFactoryMethodForListOfCallback(
    std::string typeName, ActualParameterFactoryMethodForCallbacks method) {
    factoryMethodMapForListOfCallbacks()[std::move(typeName)] = std::move(method);
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForUnifiedBusinessObject(
    std::string typeName, std::string valueText,
    std::shared_ptr<UnifiedBusinessObjectMap> objects) {
    return callRegistered(factoryMethodMapForUnifiedBusinessObjects(), typeName,
                          std::move(valueText), std::move(objects));
}

std::shared_ptr<FormalParameter>
ActualParameterFactory::GetActualParameterForNullUnifiedBusinessObject(std::string typeName) {
    return callRegistered(factoryMethodMapForNullUnifiedBusinessObjects(), typeName);
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForStruct(
    std::string typeName, std::string valueText) {
    return callRegistered(factoryMethodMapForStructs(), typeName, std::move(valueText));
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForEnum(
    std::string typeName, std::string valueText) {
    return callRegistered(factoryMethodMapForEnums(), typeName, std::move(valueText));
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForCallback(
    std::string typeName, std::string valueText, std::shared_ptr<UnifiedCallbackMap> callbacks) {
    return callRegistered(factoryMethodMapForCallbacks(), typeName, std::move(valueText),
                          std::move(callbacks));
}

std::shared_ptr<FormalParameter>
ActualParameterFactory::GetActualParameterForListOfUnifiedBusinessObject(
    std::string typeName, std::string valueText,
    std::shared_ptr<UnifiedBusinessObjectMap> objects) {
    return callRegistered(factoryMethodMapForListOfUnifiedBusinessObjects(), typeName,
                          std::move(valueText), std::move(objects));
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForListOfStruct(
    std::string typeName, std::string valueText) {
    return callRegistered(factoryMethodMapForListOfStructs(), typeName, std::move(valueText));
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForListOfEnum(
    std::string typeName, std::string valueText) {
    return callRegistered(factoryMethodMapForListOfEnums(), typeName, std::move(valueText));
}

std::shared_ptr<FormalParameter> ActualParameterFactory::GetActualParameterForListOfCallback(
    std::string typeName, std::string valueText, std::shared_ptr<UnifiedCallbackMap> callbacks) {
    return callRegistered(factoryMethodMapForListOfCallbacks(), typeName, std::move(valueText),
                          std::move(callbacks));
}

}  // namespace ZAMUnified
