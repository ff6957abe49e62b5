// ToFormalParameterConversions::GetFormalParameterFromStrings with arbitrary type names and value
// texts, a small object map and a small callback map, and plug-in factories for an enum, a struct
// (whose parser throws on bad text) and lists of objects. It never throws or crashes; a scalar
// argument exists exactly when the strict conversion accepts the text, and holds its value; a
// double is read by the float rules and reads back from its own text.
#include <ZAMUnified/ToFormalParameterConversions.h>

#include <KORCoreUtils.h>
#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ActualParameterFactory.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ValueTypes.h>
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "reflection/ReflectionFakes.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace {

using namespace ZAMUnified;
using namespace reflection_test;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;
using ReflectionTypeConversion::ToStringConversions::primitiveReturnTypeAsString;

// Every name of the value types and their lists, then the other kinds and the plug-in's own.
std::vector<std::string> typeNames() {
    std::vector<std::string> names;
    for (const ValueType& type : valueTypes()) {
        for (std::string_view name : {type.name, type.alias, type.listName, type.listAlias}) {
            if (!name.empty()) {
                names.emplace_back(name);
            }
        }
    }
    names.insert(names.end(), {"object", "null", "callback", "Colour", "Point", "list(Contact)",
                               "list(OnDone)", "list(Colour)", "list(", "list()", "list(Point)"});
    return names;
}

std::shared_ptr<UnifiedBusinessObjectMap> objects;
std::shared_ptr<UnifiedCallbackMap> callbacks;

template <typename T>
std::shared_ptr<FormalParameter> tagged(const std::string& type, T value) {
    return std::make_shared<ActualParameter<T>>(type, type, std::move(value));
}

bool registerPluginFactories() {
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "Colour", [](std::string text) -> std::shared_ptr<FormalParameter> {
            return text == "Red" || text == "Green" ? tagged("Colour", text) : nullptr;
        });
    // Plug-in parsers throw on bad text; the conversion must turn that into no argument.
    ActualParameterFactory::AddActualParameterFactoryMethodForStruct("Point", [](std::string text) {
        std::vector<std::string> pieces;
        KORCoreUtils::split(text, pieces, ",");
        if (pieces.size() != 2) {
            throw std::invalid_argument("a point is x,y");
        }
        return tagged("Point", KORCoreUtils::toInt(pieces[0]) + KORCoreUtils::toInt(pieces[1]));
    });
    ActualParameterFactory::AddActualParameterFactoryMethodForListOfUnifiedBusinessObject(
        "Contact",
        [](std::string text,
           std::shared_ptr<UnifiedBusinessObjectMap> map) -> std::shared_ptr<FormalParameter> {
            std::vector<std::string> guids;
            KORCoreUtils::split(text, guids, "|");
            const bool known = std::all_of(guids.begin(), guids.end(),
                                           [&](const std::string& guid) { return map->at(guid); });
            return known ? tagged("list(Contact)", guids) : nullptr;
        });
    ReflectorFactory::AddReflectorFactoryMethod("Contact", [](auto object) {
        return std::make_shared<FakeReflector>("Contact", tagged("Contact", object->getGuid()));
    });
    ReflectorFactory::AddReflectorFactoryMethodForCallback("OnDone", [](auto) {
        return std::make_shared<FakeReflector>("OnDone", tagged("OnDone", std::string()));
    });
    ActualParameterFactory::AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
        "Contact", [] { return tagged("Contact", std::string()); });

    objects = std::make_shared<UnifiedBusinessObjectMap>(
        UnifiedBusinessObjectMap{{"1", std::make_shared<FakeObject>("1", "Contact")},
                                 {"2", std::make_shared<FakeObject>("2", "NoReflector")},
                                 {"3", nullptr}});
    callbacks = std::make_shared<UnifiedCallbackMap>(
        UnifiedCallbackMap{{"done", std::make_shared<FakeCallback>("OnDone")}, {"gone", nullptr}});
    return true;
}

// For a strictly parsed scalar type: an argument exactly when the parser accepts the text.
template <typename T>
void checkScalar(const std::shared_ptr<FormalParameter>& parameter, const std::string& text,
                 T (*parse)(const std::string&)) {
    const std::optional<T> expected = sffuzz::attempt(parse, text);
    const auto typed = std::dynamic_pointer_cast<ActualParameter<T>>(parameter);
    SF_FUZZ_CHECK(static_cast<bool>(parameter) == expected.has_value());
    SF_FUZZ_CHECK(!expected || (typed && typed->value == *expected));
}

// The platform has no double parser to compare with; a double is read by its float rules, so a
// text that is no float is no double, every float is a double, and what is read writes back as a
// text that reads the same.
void checkDouble(const std::shared_ptr<FormalParameter>& parameter, const std::string& text) {
    bool asFloat = true;
    try {
        KORCoreUtils::toFloat(text);
    } catch (const std::invalid_argument&) {
        SF_FUZZ_CHECK(!parameter);
        return;
    } catch (const std::out_of_range&) {
        asFloat = false;
    }
    const auto typed = std::dynamic_pointer_cast<ActualParameter<double>>(parameter);
    SF_FUZZ_CHECK((parameter || !asFloat) &&
                  static_cast<bool>(typed) == static_cast<bool>(parameter));
    if (typed && !std::isnan(typed->value)) {
        const std::string written = primitiveReturnTypeAsString(typed->value);
        const auto again = std::dynamic_pointer_cast<ActualParameter<double>>(
            GetFormalParameterFromStrings("double", "again", written, nullptr, nullptr));
        SF_FUZZ_CHECK(again && again->value == typed->value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    [[maybe_unused]] static const bool registered = registerPluginFactories();
    FuzzedDataProvider provider(data, size);
    static const std::vector<std::string> kTypeNames = typeNames();
    const std::string typeName =
        provider.ConsumeBool()
            ? kTypeNames[provider.ConsumeIntegralInRange<std::size_t>(0, kTypeNames.size() - 1)]
            : provider.ConsumeRandomLengthString(24);
    const std::string name = provider.ConsumeRandomLengthString(8);
    const bool withMaps = provider.ConsumeBool();
    const std::string text = provider.ConsumeRemainingBytesAsString();

    // It never throws: an exception that escapes is a finding.
    const std::shared_ptr<FormalParameter> parameter = GetFormalParameterFromStrings(
        typeName, name, text, withMaps ? objects : nullptr, withMaps ? callbacks : nullptr);
    if (typeName == "int") {
        checkScalar<int>(parameter, text, KORCoreUtils::toInt);
    } else if (typeName == "unsigned int") {
        checkScalar<unsigned int>(parameter, text, KORCoreUtils::toUnsignedInt);
    } else if (typeName == "long long") {
        checkScalar<long long>(parameter, text, KORCoreUtils::toLongLong);
    } else if (typeName == "double") {
        checkDouble(parameter, text);
    } else if (typeName == "bool") {
        checkScalar<bool>(parameter, text, KORCoreUtils::toBool);
    } else if (typeName == "string" || typeName == "std::string") {
        checkScalar<std::string>(parameter, text, [](const std::string& t) { return t; });
    } else if (typeName == "object") {
        // Only the object whose reflector is registered can be passed.
        SF_FUZZ_CHECK(static_cast<bool>(parameter) == (withMaps && text == "1"));
    } else if (typeName == "callback") {
        SF_FUZZ_CHECK(static_cast<bool>(parameter) == (withMaps && text == "done"));
    }
    return 0;
}
