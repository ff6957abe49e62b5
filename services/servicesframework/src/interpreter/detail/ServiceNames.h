// How a text front end names a service: by id, by qualified or mangled type name, or by the short
// name of its class; and the readable forms of the factory's mangled keys.
// Threading: the factory's look-ups, on the thread that may call them. Failure: a name that fits
// no form gives a key that is neither an id nor a name.
#ifndef ZAMUNIFIED_INTERPRETER_DETAIL_SERVICENAMES_H
#define ZAMUNIFIED_INTERPRETER_DETAIL_SERVICENAMES_H

#include <string>
#include <vector>

#include <ZAMUnified/UnifiedFactory.h>

namespace ZAMUnified {
namespace detail {

// "N10ZAMUnified17HelloWorldServiceE" -> "ZAMUnified::HelloWorldService"; unchanged when the
// text is no mangled name.
std::string demangledName(const std::string& mangled);
// "A::B::C" -> "C".
std::string lastNameComponent(const std::string& qualified);
// Decimal digits only, in range of unsigned int.
bool parseServiceId(const std::string& text, unsigned int& id);

struct ServiceKey {
    bool byId = false;
    unsigned int id = 0;
    std::string mangled;
    // For a short class name that several services share: their qualified names, and no key.
    std::vector<std::string> ambiguous;
};
// The factory's key for `name`: a short class name is looked for among the registered services
// and those the library records promise.
ServiceKey serviceKeyFor(UnifiedFactory& factory, const std::string& name);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_INTERPRETER_DETAIL_SERVICENAMES_H
