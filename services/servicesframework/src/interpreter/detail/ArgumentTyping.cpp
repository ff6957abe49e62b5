#include "interpreter/detail/ArgumentTyping.h"

#include "interpreter/detail/PropertyAddressing.h"

#include <ZAMUnified/Method.h>
#include <ZAMUnified/Methods.h>
#include <ZAMUnified/Properties.h>
#include <ZAMUnified/Property.h>
#include <ZAMUnified/ToFormalParameterConversions.h>
#include <ZAMUnified/ValueTypes.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace ZAMUnified {
namespace detail {

namespace {

using RequestSyntax::Argument;
using RequestSyntax::quote;
using Signature = std::vector<std::pair<std::string, std::string>>;

// How many parameters a declared parameter text such as "int a, list(string) b" has: its commas
// outside parentheses, plus one, or none for a text of blanks.
std::size_t parameterCount(const std::string& parameters) {
    std::size_t count = 0;
    int depth = 0;
    bool any = false;
    for (char c : parameters) {
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        count += c == ',' && depth == 0 ? 1 : 0;
        any = any || (c != ' ' && c != '\t');
    }
    return any ? count + 1 : 0;
}

void insertSorted(std::vector<std::string>& texts, const std::string& text) {
    const auto at = std::lower_bound(texts.begin(), texts.end(), text);
    if (at == texts.end() || *at != text) {
        texts.insert(at, text);
    }
}

std::string article(const std::string& type) {
    return std::string("aeiou").find(type[0]) == std::string::npos ? "a" : "an";
}

// Why GetFormalParameterFromStrings gave nothing for this type and text.
std::string conversionProblem(const std::string& type, const std::string& value) {
    if (findValueType(type)) {
        return quote(value) + " is not " + article(type) + " " + type;
    }
    if (findListValueType(type)) {
        return quote(value) + " is not a " + type;
    }
    if (type == "object") {
        return "no business object has GUID " + quote(value);
    }
    if (type == "callback") {
        return "no callback is named " + quote(value);
    }
    if (type == "null") {
        return "no null object is registered for " + quote(value);
    }
    return "unknown type " + quote(type);
}

// Fills in the types the text left out, from the signature of the member the step addresses,
// and orders named arguments as that member wants them. `names` receives the declared names.
class SignatureTyping {
  public:
    SignatureTyping(const RequestSyntax::Step& step, std::vector<Argument>& arguments,
                    std::vector<std::string>& names)
        : step_(step), arguments_(arguments), names_(names) {
        untyped_ = std::any_of(arguments.begin(), arguments.end(),
                               [](const Argument& a) { return a.type.empty(); });
        allNamed_ = std::all_of(arguments.begin(), arguments.end(),
                                [](const Argument& a) { return !a.name.empty(); });
    }

    std::string label(std::size_t k) const {
        const std::string& name = arguments_[k].name.empty() ? names_[k] : arguments_[k].name;
        return "argument " + (name.empty() ? std::to_string(k + 1) : "'" + name + "'") + " of " +
               step_.name;
    }

    void apply(const Reflector* reflector, const std::string& whyNoObject) {
        if (!untyped_ && !allNamed_) {
            return;
        }
        if (!reflector) {
            if (untyped_) {
                throw TextRequestFailure(label(firstUntyped()) + ": give its type; " + whyNoObject);
            }
            return;
        }
        if (const auto property = findAddressedProperty(*reflector, step_.name)) {
            for (Argument& argument : arguments_) {
                if (argument.type.empty()) {
                    argument.type = property->getType();
                }
            }
            return;
        }
        fromOverloads(*reflector);
    }

  private:
    std::size_t firstUntyped() const {
        std::size_t k = 0;
        while (!arguments_[k].type.empty()) {
            ++k;
        }
        return k;
    }

    std::size_t position(const Signature& signature, std::size_t k) const {
        if (arguments_[k].name.empty()) {
            return k;
        }
        std::size_t at = 0;
        while (signature[at].second != arguments_[k].name) {
            ++at;
        }
        return at;
    }

    // The overloads that fit the count and every given name.
    std::vector<Signature> fittingOverloads(const Reflector& reflector) const {
        const auto overloads = reflector.Methods()->getOverloads(step_.name);
        if (overloads.empty() && untyped_) {
            throw TextRequestFailure(label(firstUntyped()) + ": give its type; " +
                                     quote(step_.name) + " is neither a method nor a property of " +
                                     // getInterfaceName() is not const, but only reads.
                                     const_cast<Reflector&>(reflector).getInterfaceName());
        }
        std::vector<Signature> fitting;
        for (const auto& overload : overloads) {
            Signature signature = RequestSyntax::parseSignature(overload->getParameters());
            if (signature.size() != arguments_.size()) {
                continue;
            }
            const bool namesFit =
                std::all_of(arguments_.begin(), arguments_.end(), [&](const Argument& a) {
                    return a.name.empty() ||
                           std::any_of(signature.begin(), signature.end(),
                                       [&](const auto& p) { return p.second == a.name; });
                });
            if (namesFit) {
                fitting.push_back(std::move(signature));
            }
        }
        // Fewer arguments than an overload takes is said as such.
        const std::string missing = fitting.empty() ? missingArguments(step_, reflector) : "";
        if (!missing.empty()) {
            throw TextRequestFailure(missing);
        }
        if (fitting.empty() && untyped_) {
            throw TextRequestFailure(label(firstUntyped()) + ": give its type; no overload of " +
                                     step_.name + " takes " +
                                     (allNamed_ ? "these argument names"
                                                : std::to_string(arguments_.size()) + " argument" +
                                                      (arguments_.size() == 1 ? "" : "s")));
        }
        return fitting;
    }

    void fromOverloads(const Reflector& reflector) {
        const std::vector<Signature> fitting = fittingOverloads(reflector);
        if (fitting.size() == 1) {
            // The usual case: one overload decides every type and name.
            const Signature& signature = fitting.front();
            for (std::size_t k = 0; k < arguments_.size(); ++k) {
                const auto& declared = signature[position(signature, k)];
                names_[k] = declared.second;
                if (arguments_[k].type.empty()) {
                    arguments_[k].type = declared.first;
                }
            }
        }
        for (std::size_t k = 0; k < arguments_.size() && fitting.size() > 1; ++k) {
            // Sorted and without repeats; few overloads fit, so these stay tiny.
            std::vector<std::string> types;
            std::vector<std::string> declaredNames;
            for (const auto& signature : fitting) {
                const auto& declared = signature[position(signature, k)];
                insertSorted(types, declared.first);
                insertSorted(declaredNames, declared.second);
            }
            if (declaredNames.size() == 1) {
                names_[k] = *declaredNames.begin();
            }
            if (!arguments_[k].type.empty()) {
                continue;
            }
            if (types.size() != 1) {
                std::string list;
                for (const std::string& type : types) {
                    list += (list.empty() ? "" : " or ") + type;
                }
                throw TextRequestFailure(label(k) + ": give its type; the overloads take " + list);
            }
            arguments_[k].type = *types.begin();
        }
        // Named arguments go where the one fitting signature wants them.
        if (allNamed_ && fitting.size() == 1) {
            std::vector<Argument> ordered(arguments_.size());
            std::vector<std::string> orderedNames(arguments_.size());
            for (std::size_t k = 0; k < arguments_.size(); ++k) {
                const std::size_t at = position(fitting.front(), k);
                ordered[at] = arguments_[k];
                orderedNames[at] = names_[k];
            }
            arguments_.swap(ordered);
            names_.swap(orderedNames);
        }
    }

    const RequestSyntax::Step& step_;
    std::vector<Argument>& arguments_;
    std::vector<std::string>& names_;
    bool untyped_ = false;
    bool allNamed_ = false;
};

}  // namespace

std::string missingArguments(const RequestSyntax::Step& step, const Reflector& reflector) {
    if (findAddressedProperty(reflector, step.name)) {
        return "";
    }
    const std::size_t given = step.arguments.size();
    const auto overloads = reflector.Methods()->getOverloads(step.name);
    // The usual case, an overload that takes as many as given, without reading signatures.
    for (const auto& overload : overloads) {
        if (parameterCount(overload->getParameters()) == given) {
            return "";
        }
    }
    std::vector<std::string> missing;
    std::string takes;
    int candidates = 0;
    for (const auto& overload : overloads) {
        const Signature signature = RequestSyntax::parseSignature(overload->getParameters());
        if (signature.size() == given) {
            return "";  // the count fits; whatever is wrong, nothing is missing
        }
        if (signature.size() < given) {
            continue;
        }
        // Positional arguments fill the first places; named ones must be declared.
        std::vector<bool> filled(signature.size(), false);
        bool fits = true;
        for (std::size_t k = 0; k < given && fits; ++k) {
            const Argument& argument = step.arguments[k];
            if (argument.name.empty()) {
                filled[k] = true;
                continue;
            }
            const auto at = std::find_if(signature.begin(), signature.end(),
                                         [&](const auto& p) { return p.second == argument.name; });
            fits = at != signature.end();
            if (fits) {
                filled[static_cast<std::size_t>(at - signature.begin())] = true;
            }
        }
        if (!fits) {
            continue;
        }
        ++candidates;
        missing.clear();
        for (std::size_t k = 0; k < signature.size(); ++k) {
            if (!filled[k]) {
                missing.push_back(
                    "'" +
                    (signature[k].second.empty() ? std::to_string(k + 1) : signature[k].second) +
                    "'");
            }
        }
        takes = overload->getParameters();
    }
    if (candidates != 1 || missing.empty()) {
        return "";
    }
    std::string names;
    for (const std::string& name : missing) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return std::string(missing.size() == 1 ? "missing argument " : "missing arguments ") + names +
           " of " + step.name + ", which takes (" + takes + ")";
}

bool typedByText(const RequestSyntax::Step& step) {
    return std::all_of(step.arguments.begin(), step.arguments.end(),
                       [](const Argument& a) { return !a.type.empty() && a.name.empty(); });
}

std::shared_ptr<ParametersCollection> typeArguments(
    const RequestSyntax::Step& step, bool isStart, const Reflector* reflector,
    const std::string& whyNoObject, const std::shared_ptr<UnifiedBusinessObjectMap>& objects) {
    std::vector<Argument> arguments = step.arguments;
    std::vector<std::string> names(arguments.size());  // from the signature, for messages
    SignatureTyping typing(step, arguments, names);
    if (isStart) {  // UnifiedBusinessObject(<guid>)
        for (Argument& argument : arguments) {
            if (argument.type.empty()) {
                argument.type = "string";
            }
        }
    } else {
        typing.apply(reflector, whyNoObject);
    }

    auto collection = std::make_shared<ParametersCollection>();
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const Argument& argument = arguments[k];
        std::string name = argument.name.empty() ? names[k] : argument.name;
        if (name.empty()) {
            name = "arg" + std::to_string(k + 1);
        }
        auto parameter =
            ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings(
                argument.type, name, argument.value, objects, nullptr);
        if (!parameter) {
            throw TextRequestFailure(typing.label(k) + ": " +
                                     conversionProblem(argument.type, argument.value));
        }
        collection->push_back(parameter);
    }
    return collection;
}

}  // namespace detail
}  // namespace ZAMUnified
