// How the sample describes itself to the interpreter, and its injection entry. Each reflector is
// made anew for the object the ReflectorFactory is asked about.
#include "HelloWorldService.h"

#include <memory>
#include <typeinfo>

namespace ZAMUnified {
namespace {

std::shared_ptr<Reflector> reflectService(std::shared_ptr<UnifiedBusinessObject> object) {
    using S = HelloWorldService;
    auto service = std::dynamic_pointer_cast<S>(object);
    if (!service) {
        return nullptr;
    }
    auto reflector = std::make_shared<ObjectReflector<S>>("HelloWorldService", service);
    reflector->property("Greeting", &S::getGreeting, &S::setGreeting, service->greetingChanges())
        .listProperty("GreetedNames", &S::getGreetedNames, service->greetedNamesChanges())
        .mutableListProperty("Guests", &S::getGuests, &S::setGuests, service->guestsChanges())
        .property("Secret", &S::getSecret, &S::setSecret)
        .property("Owner", &S::getOwner)
        .method("sayHello", selectOverload<std::string() const>(&S::sayHello))
        .method("sayHello", selectOverload<std::string(const std::string&)>(&S::sayHello), {"name"})
        .method("add", &S::add, {"a", "b"})
        .method("greetAll", &S::greetAll, {"names"});
    return reflector;
}

std::shared_ptr<Reflector> reflectOwner(std::shared_ptr<UnifiedBusinessObject> object) {
    using O = HelloWorldOwner;
    auto owner = std::dynamic_pointer_cast<O>(object);
    if (!owner) {
        return nullptr;
    }
    auto reflector = std::make_shared<ObjectReflector<O>>("HelloWorldOwner", owner);
    reflector->property("Name", &O::getName, &O::setName, owner->nameChanges())
        .property("Age", &O::getAge, &O::setAge);
    return reflector;
}

}  // namespace
}  // namespace ZAMUnified

// Runs once per load, on the dispatcher thread, which the services' constructors require.
extern "C" void InjectHelloWorldService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory) {
    using namespace ZAMUnified;
    ReflectorFactory::AddReflectorFactoryMethod("HelloWorldService", reflectService);
    ReflectorFactory::AddReflectorFactoryMethod("HelloWorldOwner", reflectOwner);
    factory->getServiceRegistry()->addItem(typeid(HelloWorldService).name(), HelloWorldService::kId,
                                           std::make_shared<HelloWorldService>(factory));
    factory->getFeatureSetRegistry()->addItem(typeid(HelloWorldFeatureSet).name(),
                                              HelloWorldService::kId,
                                              std::make_shared<HelloWorldFeatureSet>());
    factory->setAuthenticator(1801, "HELLOWORLD", "Hello World Sign-In",
                              std::make_shared<HelloWorldAuthenticator>());
}
