// ZAMUnified::Reflector: how a service or business object describes itself to the interpreter:
// its properties and its (possibly overloaded) methods. A service library derives one reflector
// per reflected type, adds its members in the constructor through Properties() and Methods(), and
// registers a factory function for it with ReflectorFactory.
//
// Threading: built complete in its constructor, then only read. Failure: see Properties, Methods.
#ifndef ZAMUNIFIED_REFLECTOR_H
#define ZAMUNIFIED_REFLECTOR_H

#include <memory>
#include <string>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/Methods.h>
#include <ZAMUnified/Properties.h>

namespace ZAMUnified {

class Reflector {
  public:
    Reflector();
    virtual ~Reflector();

    // The interface name of the reflected type, for people and tools; the framework does not
    // call it.
    virtual std::string getInterfaceName() = 0;
    // The reflected object itself as a ready argument, used when a method argument of kind
    // "object" or "callback" names this object.
    virtual std::shared_ptr<FormalParameter> getActualParameter() = 0;

    // The same containers on every call; never replaced.
    std::shared_ptr<ZAMUnified::Methods> Methods() const;
    std::shared_ptr<ZAMUnified::Properties> Properties() const;
    // "Reflector", whatever the derived class.
    std::string getBaseName() const;

  private:
    std::shared_ptr<ZAMUnified::Methods> methods;
    std::shared_ptr<ZAMUnified::Properties> properties;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTOR_H
