// ZAMUnified::ReflectionTypeConversion::ToFormalParameterConversions: turns the three strings by
// which a text front end names an argument (type name, parameter name, value text) into a ready
// argument for a ParametersCollection.
// Threading: stateless; the maps and the factories' registries must not change while it runs.
// Failure: never throws; every failure (unknown type, rejected text, missing object) gives an
// empty pointer and no reason.
#ifndef ZAMUNIFIED_TOFORMALPARAMETERCONVERSIONS_H
#define ZAMUNIFIED_TOFORMALPARAMETERCONVERSIONS_H

#include <memory>
#include <string>

#include <ZAMUnified/ActualParameterFactory.h>
#include <ZAMUnified/FormalParameter.h>

namespace ZAMUnified {
namespace ReflectionTypeConversion {
namespace ToFormalParameterConversions {

// Decides by the type name, exactly and case-sensitively, the first rule that applies winning:
//  1. a scalar type name: an ActualParameter<T> of the converted text;
//  2. a registered enum, then 3. a registered struct (an empty answer goes on);
//  4. "object": the business object whose GUID is the text, through its reflector;
//  5. "null": the null-object factory for the interface named by the text;
//  6. "callback": the callback named by the text, through its reflector;
//  7. a "list(...)" of a scalar type: an ActualParameter of a shared vector;
//  8. any other "list(" + name + ")": the list factories for objects (if `objects` is given),
//     callbacks (if `callbacks` is given), enums, then structs;
//  9. anything else: empty.
// The parameter name is used by rules 1 and 7 only; the other kinds name themselves.
// The value text of a secure string or a list of them is zeroed before the call returns, and such
// a list never reaches the plug-in factories of rules 2 and 3, so no plain copy is freed unwiped.
std::shared_ptr<FormalParameter> GetFormalParameterFromStrings(
    std::string typeName, std::string parameterName, std::string valueText,
    std::shared_ptr<UnifiedBusinessObjectMap> objects,
    std::shared_ptr<UnifiedCallbackMap> callbacks);

}  // namespace ToFormalParameterConversions
}  // namespace ReflectionTypeConversion
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_TOFORMALPARAMETERCONVERSIONS_H
