// ZAMUnified::ActualParameterFactory: arguments of types the framework does not know (business
// objects, absent objects, structs, enums, callbacks and lists of them), built from their text by
// functions that service libraries register under the type name.
// Threading: the nine registries have no lock; registration belongs to set-up (injection, host
// start) and must be finished before look-ups run on other threads.
// Failure: an unknown name gives an empty pointer; an empty function throws bad_function_call.
#ifndef ZAMUNIFIED_ACTUALPARAMETERFACTORY_H
#define ZAMUNIFIED_ACTUALPARAMETERFACTORY_H

#include <functional>
#include <map>
#include <memory>
#include <string>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedCallback.h>

namespace ZAMUnified {

// Business objects keyed by GUID text, and callbacks keyed by the text that names them.
using UnifiedBusinessObjectMap = std::map<std::string, std::shared_ptr<UnifiedBusinessObject>>;
using UnifiedCallbackMap = std::map<std::string, std::shared_ptr<UnifiedCallback>>;

using ActualParameterFactoryMethodForObjects = std::function<std::shared_ptr<FormalParameter>(
    std::string, std::shared_ptr<UnifiedBusinessObjectMap>)>;
using ActualParameterFactoryMethodForNull = std::function<std::shared_ptr<FormalParameter>()>;
using ActualParameterFactoryMethodForText =
    std::function<std::shared_ptr<FormalParameter>(std::string)>;
using ActualParameterFactoryMethodForCallbacks = std::function<std::shared_ptr<FormalParameter>(
    std::string, std::shared_ptr<UnifiedCallbackMap>)>;

// Static operations only. Each registry is a map of its own: a name registered for structs is not
// found among lists of structs. A registration replaces any earlier one under the same name.
class ActualParameterFactory {
  public:
    ActualParameterFactory() = delete;

    static void AddActualParameterFactoryMethodForUnifiedBusinessObject(
        std::string typeName, ActualParameterFactoryMethodForObjects method);
    static void AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
        std::string typeName, ActualParameterFactoryMethodForNull method);
    static void AddActualParameterFactoryMethodForStruct(
        std::string typeName, ActualParameterFactoryMethodForText method);
    static void AddActualParameterFactoryMethodForEnum(std::string typeName,
                                                       ActualParameterFactoryMethodForText method);
    static void AddActualParameterFactoryMethodForCallback(
        std::string typeName, ActualParameterFactoryMethodForCallbacks method);
    static void AddActualParameterFactoryMethodForListOfUnifiedBusinessObject(
        std::string typeName, ActualParameterFactoryMethodForObjects method);
    static void AddActualParameterFactoryMethodForListOfStruct(
        std::string typeName, ActualParameterFactoryMethodForText method);
    static void AddActualParameterFactoryMethodForListOfEnum(
        std::string typeName, ActualParameterFactoryMethodForText method);
    static void AddActualParameterFactoryMethodForListOfCallback(
        std::string typeName, ActualParameterFactoryMethodForCallbacks method);

    static std::shared_ptr<FormalParameter> GetActualParameterForUnifiedBusinessObject(
        std::string typeName, std::string valueText,
        std::shared_ptr<UnifiedBusinessObjectMap> objects);
    // The function registered for `typeName` is called with no arguments.
    static std::shared_ptr<FormalParameter> GetActualParameterForNullUnifiedBusinessObject(
        std::string typeName);
    static std::shared_ptr<FormalParameter> GetActualParameterForStruct(std::string typeName,
                                                                        std::string valueText);
    static std::shared_ptr<FormalParameter> GetActualParameterForEnum(std::string typeName,
                                                                      std::string valueText);
    static std::shared_ptr<FormalParameter> GetActualParameterForCallback(
        std::string typeName, std::string valueText, std::shared_ptr<UnifiedCallbackMap> callbacks);
    static std::shared_ptr<FormalParameter> GetActualParameterForListOfUnifiedBusinessObject(
        std::string typeName, std::string valueText,
        std::shared_ptr<UnifiedBusinessObjectMap> objects);
    static std::shared_ptr<FormalParameter> GetActualParameterForListOfStruct(
        std::string typeName, std::string valueText);
    static std::shared_ptr<FormalParameter> GetActualParameterForListOfEnum(std::string typeName,
                                                                            std::string valueText);
    static std::shared_ptr<FormalParameter> GetActualParameterForListOfCallback(
        std::string typeName, std::string valueText, std::shared_ptr<UnifiedCallbackMap> callbacks);
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_ACTUALPARAMETERFACTORY_H
