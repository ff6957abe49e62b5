// ZAMUnified::ReflectorFactory: reflectors by type name. Service libraries register one function
// per reflected business object, service, struct, enum and callback type; the interpreter and the
// text conversions ask for reflectors by the object's interface name.
// Threading: the registries have no lock; registration belongs to set-up (injection, host start)
// and must be finished before look-ups run on other threads. Failure: an unknown name or an empty
// object gives an empty pointer; an empty function throws std::bad_function_call.
#ifndef ZAMUNIFIED_REFLECTORFACTORY_H
#define ZAMUNIFIED_REFLECTORFACTORY_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedCallback.h>

namespace ZAMUnified {

using ReflectorFactoryMethod =
    std::function<std::shared_ptr<Reflector>(std::shared_ptr<UnifiedBusinessObject>)>;
using ReflectorFactoryMethodForStruct =
    std::function<std::shared_ptr<Reflector>(std::shared_ptr<void>)>;
using ReflectorFactoryMethodForEnum = std::function<std::shared_ptr<Reflector>(std::string)>;
using ReflectorFactoryMethodForCallback =
    std::function<std::shared_ptr<Reflector>(std::shared_ptr<UnifiedCallback>)>;

// Static operations only. A registration replaces any earlier one under the same name; every
// look-up calls the function anew (no cache) and returns its result unchanged.
class ReflectorFactory {
  public:
    ReflectorFactory() = delete;

    // Keyed by the interface name that the objects' getInterfaceName() answers;
    // "UnifiedBusinessObject" serves every object that keeps the default.
    static void AddReflectorFactoryMethod(std::string interfaceName, ReflectorFactoryMethod method);
    static void AddReflectorFactoryMethodForStruct(std::string typeName,
                                                   ReflectorFactoryMethodForStruct method);
    static void AddReflectorFactoryMethodForEnum(std::string typeName,
                                                 ReflectorFactoryMethodForEnum method);
    static void AddReflectorFactoryMethodForCallback(std::string interfaceName,
                                                     ReflectorFactoryMethodForCallback method);

    static std::shared_ptr<Reflector> GetReflector(std::shared_ptr<UnifiedBusinessObject> object);
    static std::shared_ptr<Reflector> GetReflectorForStruct(std::string typeName,
                                                            std::shared_ptr<void> value);
    static std::shared_ptr<Reflector> GetReflectorForEnum(std::string typeName,
                                                          std::string valueText);
    static std::shared_ptr<Reflector> GetReflectorForCallback(
        std::shared_ptr<UnifiedCallback> callback);
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTORFACTORY_H
