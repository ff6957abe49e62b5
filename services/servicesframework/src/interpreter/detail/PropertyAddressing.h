// The interpreter's rule for which property a step's name addresses: a get or set prefix in any
// letter case addresses the property named by the rest, any other name the property of exactly
// that name. The interpreter's walk and the text layer's argument typing use this one rule.
// Threading: reads the reflector's properties on the caller's thread. Failure: an empty pointer
// when no property is addressed.
#ifndef ZAMUNIFIED_INTERPRETER_DETAIL_PROPERTYADDRESSING_H
#define ZAMUNIFIED_INTERPRETER_DETAIL_PROPERTYADDRESSING_H

#include <ZAMUnified/Properties.h>
#include <ZAMUnified/Property.h>
#include <ZAMUnified/Reflector.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ZAMUnified {
namespace detail {

// KORCoreUtils::caseInsensitiveStringEquals for a three-letter word, on the start of `name`
// rather than on a copy of it: ASCII letters alone fold.
inline bool startsWithIgnoringCase(std::string_view name, std::string_view word) {
    if (name.size() < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = name[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[i]) {
            return false;
        }
    }
    return true;
}

// Inline: the interpreter runs it for every step.
inline std::shared_ptr<Property> findAddressedProperty(const Reflector& reflector,
                                                       std::string_view name) {
    const std::shared_ptr<Properties> properties = reflector.Properties();
    if (properties->size() == 0) {
        // Spares the look-up its key, for the many reflectors that only have methods.
        return nullptr;
    }
    const bool prefixed =
        startsWithIgnoringCase(name, "get") || startsWithIgnoringCase(name, "set");
    return properties->getProperty(std::string(prefixed ? name.substr(3) : name));
}

}  // namespace detail
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_INTERPRETER_DETAIL_PROPERTYADDRESSING_H
