#include <ZAMUnified/ReflectorFactory.h>

#include <ZAMUnified/ActualParameterFactory.h>
#include <ZAMUnified/ReflectionCallbackFactory.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

// The registries are process-wide and cannot be emptied, so every test uses keys of its own.
namespace {

using namespace reflection_test;

std::shared_ptr<FormalParameter> textParameter(const std::string& text) {
    return std::make_shared<ActualParameter<std::string>>("string", "v", text);
}

std::string textOf(const std::shared_ptr<FormalParameter>& parameter) {
    auto typed = std::dynamic_pointer_cast<ActualParameter<std::string>>(parameter);
    return typed ? typed->value : "<none>";
}

TEST(ReflectorFactoryTest, ObjectsAreReflectedByInterfaceNameAndTheLastRegistrationWins) {
    auto first = std::make_shared<FakeReflector>("first");
    auto second = std::make_shared<FakeReflector>("second");
    std::shared_ptr<UnifiedBusinessObject> seen;
    ReflectorFactory::AddReflectorFactoryMethod("RF.Contact", [&](auto) { return first; });
    ReflectorFactory::AddReflectorFactoryMethod("RF.Contact", [&](auto object) {
        seen = object;
        return second;
    });
    auto contact = std::make_shared<FakeObject>("1", "RF.Contact");

    EXPECT_EQ(second, ReflectorFactory::GetReflector(contact));
    EXPECT_EQ(contact, seen);
    EXPECT_FALSE(ReflectorFactory::GetReflector(std::make_shared<FakeObject>("2", "rf.contact")));
    // An empty object has no name to look up.
    EXPECT_FALSE(ReflectorFactory::GetReflector(nullptr));

    // An object of the default interface name uses the "UnifiedBusinessObject" entry.
    auto plainObject = std::make_shared<FakeObject>("9", "");
    // Nothing may be registered under the default name before this test registers it.
    EXPECT_FALSE(ReflectorFactory::GetReflector(plainObject));
    auto reflector = std::make_shared<FakeReflector>();
    ReflectorFactory::AddReflectorFactoryMethod("UnifiedBusinessObject",
                                                [&](auto) { return reflector; });
    EXPECT_EQ(reflector, ReflectorFactory::GetReflector(plainObject));
}

TEST(ReflectorFactoryTest, StructEnumAndCallbackReflectorsGetTheirArguments) {
    auto reflector = std::make_shared<FakeReflector>();
    std::shared_ptr<void> structSeen;
    std::string enumSeen;
    std::shared_ptr<UnifiedCallback> callbackSeen;
    ReflectorFactory::AddReflectorFactoryMethodForStruct("RF.Point", [&](std::shared_ptr<void> v) {
        structSeen = v;
        return reflector;
    });
    ReflectorFactory::AddReflectorFactoryMethodForEnum("RF.Colour", [&](std::string text) {
        enumSeen = text;
        return reflector;
    });
    ReflectorFactory::AddReflectorFactoryMethodForCallback("RF.OnDone", [&](auto callback) {
        callbackSeen = callback;
        return reflector;
    });
    auto point = std::make_shared<int>(3);
    auto callback = std::make_shared<FakeCallback>("RF.OnDone");

    EXPECT_EQ(reflector, ReflectorFactory::GetReflectorForStruct("RF.Point", point));
    EXPECT_EQ(point, structSeen);
    EXPECT_EQ(reflector, ReflectorFactory::GetReflectorForEnum("RF.Colour", "Red"));
    EXPECT_EQ("Red", enumSeen);
    EXPECT_EQ(reflector, ReflectorFactory::GetReflectorForCallback(callback));
    EXPECT_EQ(callback, callbackSeen);
    // Separate maps: a name known for one kind is unknown to the others.
    EXPECT_FALSE(ReflectorFactory::GetReflectorForEnum("RF.Point", "x"));
    EXPECT_FALSE(ReflectorFactory::GetReflectorForStruct("RF.Colour", point));
    EXPECT_FALSE(ReflectorFactory::GetReflectorForCallback(std::make_shared<FakeCallback>("RF.X")));
    EXPECT_FALSE(ReflectorFactory::GetReflectorForCallback(nullptr));
}

TEST(ReflectorFactoryTest, NegativeEmptyFunctionThrowsAndExceptionsPassThrough) {
    ReflectorFactory::AddReflectorFactoryMethodForEnum("RF.Empty", nullptr);
    EXPECT_THROW(ReflectorFactory::GetReflectorForEnum("RF.Empty", ""), std::bad_function_call);
    ReflectorFactory::AddReflectorFactoryMethodForEnum(
        "RF.Throws",
        [](std::string) -> std::shared_ptr<Reflector> { throw std::logic_error("x"); });
    EXPECT_THROW(ReflectorFactory::GetReflectorForEnum("RF.Throws", ""), std::logic_error);
    // The empty key is a key like any other.
    auto reflector = std::make_shared<FakeReflector>();
    ReflectorFactory::AddReflectorFactoryMethodForEnum("", [&](std::string) { return reflector; });
    EXPECT_EQ(reflector, ReflectorFactory::GetReflectorForEnum("", "v"));
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
    EXPECT_EQ("object a map",
              textOf(F::GetActualParameterForUnifiedBusinessObject("APF.T", "a", objects)));
    EXPECT_EQ("callback d map", textOf(F::GetActualParameterForCallback("APF.T", "d", callbacks)));

    // Unknown names and separate maps; the last registration wins.
    F::AddActualParameterFactoryMethodForStruct("APF.OnlyStruct",
                                                [](std::string t) { return textParameter(t); });
    EXPECT_EQ("s", textOf(F::GetActualParameterForStruct("APF.OnlyStruct", "s")));
    EXPECT_FALSE(F::GetActualParameterForStruct("apf.onlystruct", "s"));
    EXPECT_FALSE(F::GetActualParameterForNullUnifiedBusinessObject("APF.OnlyStruct"));
    EXPECT_FALSE(F::GetActualParameterForUnifiedBusinessObject("APF.OnlyStruct", "1", nullptr));
    EXPECT_FALSE(F::GetActualParameterForCallback("APF.OnlyStruct", "1", nullptr));

    F::AddActualParameterFactoryMethodForStruct(
        "APF.OnlyStruct", [](std::string) { return textParameter("second"); });
    EXPECT_EQ("second", textOf(F::GetActualParameterForStruct("APF.OnlyStruct", "s")));
    F::AddActualParameterFactoryMethodForNullUnifiedBusinessObject("APF.Empty", nullptr);
    EXPECT_THROW(F::GetActualParameterForNullUnifiedBusinessObject("APF.Empty"),
                 std::bad_function_call);
}

TEST(ReflectionCallbackFactoryTest, CallsTheFunctionWithItsOwnName) {
    std::string seen;
    ReflectionCallbackFactory::AddCallbackFactoryMethodForCallback(
        "RCF.first", [](std::string) { return std::make_shared<NamedCallback>("replaced"); });
    ReflectionCallbackFactory::AddCallbackFactoryMethodForCallback("RCF.first", [&](std::string n) {
        seen = n;
        return std::make_shared<NamedCallback>("made for " + n);
    });
    auto callback = ReflectionCallbackFactory::GetReflectionCallback("RCF.first");
    ASSERT_TRUE(callback);
    EXPECT_EQ("RCF.first", seen);
    EXPECT_EQ("made for RCF.first", callback->getInterfaceName());
    EXPECT_FALSE(ReflectionCallbackFactory::GetReflectionCallback("RCF.unknown"));
    ReflectionCallbackFactory::AddCallbackFactoryMethodForCallback("RCF.empty", nullptr);
    EXPECT_THROW(ReflectionCallbackFactory::GetReflectionCallback("RCF.empty"),
                 std::bad_function_call);
}

}  // namespace
