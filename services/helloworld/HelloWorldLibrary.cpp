// The sample's injection entry: what it registers, and each reflected member in one line, most
// with the description `describe` shows; a description is optional, and add and the owner's
// members go without one.
// Runs once per load, on the dispatcher thread, which the services' constructors require.
#include "HelloWorldService.h"

ZAMUNIFIED_SERVICE_LIBRARY(HelloWorldService, library) {
    using namespace ZAMUnified;
    using S = HelloWorldService;
    using O = HelloWorldOwner;
    library.service<S>(S::kId)
        .property("Greeting", &S::getGreeting, &S::setGreeting, &S::greetingChanged,
                  "The word sayHello greets with")
        .listProperty("GreetedNames", &S::getGreetedNames, &S::greetedNamesChanged,
                      "Everyone greeted by name, oldest first")
        .mutableListProperty("Guests", &S::getGuests, &S::setGuests, &S::guestsChanged,
                             "The guest list, replaced whole")
        .property("Secret", &S::getSecret, &S::setSecret, "A secret, kept encrypted")
        .property("Owner", &S::getOwner, "Who owns the service")
        .method("sayHello", selectOverload<std::string() const>(&S::sayHello), "Greets the world")
        .method("sayHello", selectOverload<std::string(const std::string&)>(&S::sayHello), {"name"},
                "Greets someone, and remembers the name")
        .method("add", &S::add, {"a", "b"})
        .method("greetAll", &S::greetAll, {"names"}, "Greets everyone named, and remembers them");
    library.object<O>()
        .property("Name", &O::getName, &O::setName, &O::nameChanged)
        .property("Age", &O::getAge, &O::setAge);
    library.featureSet<HelloWorldFeatureSet>(S::kId);
    library.authenticator<HelloWorldAuthenticator>(1801, "HELLOWORLD", "Hello World Sign-In");
}
