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

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace ZAMUnified;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

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
    for (const char* name : {"object", "null", "callback", "Colour", "Point", "list(Contact)",
                             "list(OnDone)", "list(Colour)", "list(", "list()", "list(Point)"}) {
        names.push_back(name);
    }
    return names;
}

std::shared_ptr<UnifiedBusinessObjectMap> objects;
std::shared_ptr<UnifiedCallbackMap> callbacks;

template <typename T>
std::shared_ptr<FormalParameter> tagged(const std::string& type, T value) {
    return std::make_shared<ActualParameter<T>>(type, type, std::move(value));
}

void registerPluginFactories() {
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "Colour", [](std::string text) -> std::shared_ptr<FormalParameter> {
            if (text == "Red" || text == "Green") {
                return tagged("Colour", text);
            }
            return nullptr;
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
            for (const std::string& guid : guids) {
                if (map->at(guid) == nullptr) {
                    return nullptr;
                }
            }
            return tagged("list(Contact)", guids);
        });
    ReflectorFactory::AddReflectorFactoryMethod("Contact", [](auto object) {
        return std::make_shared<reflection_test::FakeReflector>(
            "Contact", tagged("Contact", object->getGuid()));
    });
    ReflectorFactory::AddReflectorFactoryMethodForCallback("OnDone", [](auto) {
        return std::make_shared<reflection_test::FakeReflector>("OnDone",
                                                                tagged("OnDone", std::string()));
    });
    ActualParameterFactory::AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
        "Contact", [] { return tagged("Contact", std::string()); });

    objects = std::make_shared<UnifiedBusinessObjectMap>();
    (*objects)["1"] = std::make_shared<reflection_test::FakeObject>("1", "Contact");
    (*objects)["2"] = std::make_shared<reflection_test::FakeObject>("2", "NoReflector");
    (*objects)["3"] = nullptr;
    callbacks = std::make_shared<UnifiedCallbackMap>();
    (*callbacks)["done"] = std::make_shared<reflection_test::FakeCallback>("OnDone");
    (*callbacks)["gone"] = nullptr;
}

// For a strictly parsed scalar type: an argument exactly when the parser accepts the text.
template <typename T, typename Parse>
void checkScalar(const std::shared_ptr<FormalParameter>& parameter, const std::string& text,
                 Parse parse) {
    T expected{};
    bool accepted = true;
    try {
        expected = parse(text);
    } catch (const std::exception&) {
        accepted = false;
    }
    SF_FUZZ_CHECK(static_cast<bool>(parameter) == accepted);
    if (accepted) {
        auto typed = std::dynamic_pointer_cast<ActualParameter<T>>(parameter);
        SF_FUZZ_CHECK(typed && typed->value == expected);
    }
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
    SF_FUZZ_CHECK(parameter || !asFloat);
    if (!parameter) {
        return;
    }
    auto typed = std::dynamic_pointer_cast<ActualParameter<double>>(parameter);
    SF_FUZZ_CHECK(typed);
    if (!std::isnan(typed->value)) {
        auto again =
            std::dynamic_pointer_cast<ActualParameter<double>>(GetFormalParameterFromStrings(
                "double", "again",
                ReflectionTypeConversion::ToStringConversions::primitiveReturnTypeAsString(
                    typed->value),
                nullptr, nullptr));
        SF_FUZZ_CHECK(again && again->value == typed->value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!objects) {
        registerPluginFactories();
    }
    FuzzedDataProvider provider(data, size);
    static const std::vector<std::string> kTypeNames = typeNames();
    const std::string typeName =
        provider.ConsumeBool()
            ? kTypeNames[provider.ConsumeIntegralInRange<std::size_t>(0, kTypeNames.size() - 1)]
            : provider.ConsumeRandomLengthString(24);
    const std::string name = provider.ConsumeRandomLengthString(8);
    const bool withMaps = provider.ConsumeBool();
    const std::string text = provider.ConsumeRemainingBytesAsString();

    std::shared_ptr<FormalParameter> parameter;
    try {
        parameter = GetFormalParameterFromStrings(
            typeName, name, text, withMaps ? objects : nullptr, withMaps ? callbacks : nullptr);
    } catch (...) {
        SF_FUZZ_CHECK(!"GetFormalParameterFromStrings threw");
    }
    if (typeName == "int") {
        checkScalar<int>(parameter, text,
                         [](const std::string& t) { return KORCoreUtils::toInt(t); });
    } else if (typeName == "unsigned int") {
        checkScalar<unsigned int>(
            parameter, text, [](const std::string& t) { return KORCoreUtils::toUnsignedInt(t); });
    } else if (typeName == "long long") {
        checkScalar<long long>(parameter, text,
                               [](const std::string& t) { return KORCoreUtils::toLongLong(t); });
    } else if (typeName == "double") {
        checkDouble(parameter, text);
    } else if (typeName == "bool") {
        checkScalar<bool>(parameter, text,
                          [](const std::string& t) { return KORCoreUtils::toBool(t); });
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
