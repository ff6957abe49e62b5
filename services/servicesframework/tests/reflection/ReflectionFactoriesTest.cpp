#include <ZAMUnified/ReflectorFactory.h>

#include <ZAMUnified/ActualParameterFactory.h>
#include <ZAMUnified/ReflectionCallbackFactory.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

// The registries are process-wide and cannot be emptied, so every test uses keys of its own.
namespace {

using namespace reflection_test;
using RF = ReflectorFactory;
using Reflectors = std::vector<std::shared_ptr<Reflector>>;

std::shared_ptr<FormalParameter> textParameter(const std::string& text) {
    return std::make_shared<ActualParameter<std::string>>("string", "v", text);
}

std::string textOf(const std::shared_ptr<FormalParameter>& parameter) {
    auto typed = std::dynamic_pointer_cast<ActualParameter<std::string>>(parameter);
    return typed ? typed->value : parameter ? "<not text>" : "<none>";
}

TEST(ReflectorFactoryTest, ObjectsAreReflectedByInterfaceNameAndTheLastRegistrationWins) {
    auto first = std::make_shared<FakeReflector>("first");
    auto second = std::make_shared<FakeReflector>("second");
    std::shared_ptr<UnifiedBusinessObject> seen;
    RF::AddReflectorFactoryMethod("RF.Contact", [&](auto) { return first; });
    RF::AddReflectorFactoryMethod("RF.Contact", [&](auto object) {
        seen = object;
        return second;
    });
    auto contact = std::make_shared<FakeObject>("1", "RF.Contact");
    // An object of the default interface name uses the "UnifiedBusinessObject" entry, which
    // nothing may have registered before this test; an empty object has no name to look up.
    auto plainObject = std::make_shared<FakeObject>("9", "");
    EXPECT_EQ((Reflectors{second, nullptr, nullptr, nullptr}),
              (Reflectors{RF::GetReflector(contact),
                          RF::GetReflector(std::make_shared<FakeObject>("2", "rf.contact")),
                          RF::GetReflector(nullptr), RF::GetReflector(plainObject)}));
    EXPECT_EQ(contact, seen);
    RF::AddReflectorFactoryMethod("UnifiedBusinessObject", [first](auto) { return first; });
    EXPECT_EQ(first, RF::GetReflector(plainObject));
}

// Separate maps: a name known for one kind is unknown to the others; the empty key is a key.
TEST(ReflectorFactoryTest, NEGATIVE_StructEnumAndCallbackReflectorsGetTheirArgumentsOrThrow) {
    auto reflector = std::make_shared<FakeReflector>();
    auto point = std::make_shared<int>(3);
    auto callback = std::make_shared<FakeCallback>("RF.OnDone");
    std::string seen;
    RF::AddReflectorFactoryMethodForStruct("RF.Point", [&](std::shared_ptr<void> v) {
        seen += v == point ? "point " : "another struct ";
        return reflector;
    });
    RF::AddReflectorFactoryMethodForEnum("RF.Colour", [&](std::string text) {
        seen += text + " ";
        return reflector;
    });
    RF::AddReflectorFactoryMethodForCallback("RF.OnDone", [&](auto c) {
        seen += c == callback ? "callback" : "another callback";
        return reflector;
    });
    RF::AddReflectorFactoryMethodForEnum("", [&](std::string) { return reflector; });
    EXPECT_EQ((Reflectors{reflector, reflector, reflector, reflector, nullptr, nullptr, nullptr,
                          nullptr}),
              (Reflectors{RF::GetReflectorForStruct("RF.Point", point),
                          RF::GetReflectorForEnum("RF.Colour", "Red"),
                          RF::GetReflectorForCallback(callback), RF::GetReflectorForEnum("", "v"),
                          RF::GetReflectorForEnum("RF.Point", "x"),
                          RF::GetReflectorForStruct("RF.Colour", point),
                          RF::GetReflectorForCallback(std::make_shared<FakeCallback>("RF.X")),
                          RF::GetReflectorForCallback(nullptr)}));
    EXPECT_EQ("point Red callback", seen);
    // An empty function throws, and so does whatever the function throws.
    RF::AddReflectorFactoryMethodForEnum("RF.Empty", nullptr);
    EXPECT_THROW(RF::GetReflectorForEnum("RF.Empty", ""), std::bad_function_call);
    RF::AddReflectorFactoryMethodForEnum(
        "RF.Throws",
        [](std::string) -> std::shared_ptr<Reflector> { throw std::logic_error("x"); });
    EXPECT_THROW(RF::GetReflectorForEnum("RF.Throws", ""), std::logic_error);
}

// The conversion's tests reach the null, struct, enum and list registries; it does not use these
// two, which must pass the caller's map on.
TEST(ActualParameterFactoryTest, RegistriesPassTheCallersMapAndKnowOnlyTheirOwnNames) {
    using F = ActualParameterFactory;
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    F::AddActualParameterFactoryMethodForUnifiedBusinessObject(
        "APF.T", [objects](std::string text, std::shared_ptr<UnifiedBusinessObjectMap> map) {
            return textParameter("object " + text + (map == objects ? " map" : ""));
        });
    F::AddActualParameterFactoryMethodForCallback(
        "APF.T", [callbacks](std::string text, std::shared_ptr<UnifiedCallbackMap> map) {
            return textParameter("callback " + text + (map == callbacks ? " map" : ""));
        });
    // Unknown names and separate maps; the last registration wins.
    F::AddActualParameterFactoryMethodForStruct("APF.OnlyStruct",
                                                [](std::string t) { return textParameter(t); });
    const std::vector<std::string> before = {
        textOf(F::GetActualParameterForUnifiedBusinessObject("APF.T", "a", objects)),
        textOf(F::GetActualParameterForCallback("APF.T", "d", callbacks)),
        textOf(F::GetActualParameterForStruct("APF.OnlyStruct", "s")),
        textOf(F::GetActualParameterForStruct("apf.onlystruct", "s")),
        textOf(F::GetActualParameterForNullUnifiedBusinessObject("APF.OnlyStruct")),
        textOf(F::GetActualParameterForUnifiedBusinessObject("APF.OnlyStruct", "1", nullptr)),
        textOf(F::GetActualParameterForCallback("APF.OnlyStruct", "1", nullptr))};
    EXPECT_EQ((std::vector<std::string>{"object a map", "callback d map", "s", "<none>", "<none>",
                                        "<none>", "<none>"}),
              before);

    F::AddActualParameterFactoryMethodForStruct(
        "APF.OnlyStruct", [](std::string) { return textParameter("second"); });
    EXPECT_EQ("second", textOf(F::GetActualParameterForStruct("APF.OnlyStruct", "s")));
    F::AddActualParameterFactoryMethodForNullUnifiedBusinessObject("APF.Empty", nullptr);
    EXPECT_THROW(F::GetActualParameterForNullUnifiedBusinessObject("APF.Empty"),
                 std::bad_function_call);
}

TEST(ReflectionCallbackFactoryTest, CallsTheFunctionWithItsOwnName) {
    using F = ReflectionCallbackFactory;
    F::AddCallbackFactoryMethodForCallback(
        "RCF.first", [](std::string) { return std::make_shared<NamedCallback>("replaced"); });
    F::AddCallbackFactoryMethodForCallback("RCF.first", [](std::string n) {
        return std::make_shared<NamedCallback>("made for " + n);
    });
    auto callback = F::GetReflectionCallback("RCF.first");
    EXPECT_EQ("made for RCF.first", callback ? callback->getInterfaceName() : "<none>");
    EXPECT_FALSE(F::GetReflectionCallback("RCF.unknown"));
    F::AddCallbackFactoryMethodForCallback("RCF.empty", nullptr);
    EXPECT_THROW(F::GetReflectionCallback("RCF.empty"), std::bad_function_call);
}

}  // namespace
