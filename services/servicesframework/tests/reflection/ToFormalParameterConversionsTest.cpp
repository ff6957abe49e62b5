#include <ZAMUnified/ToFormalParameterConversions.h>

#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectorFactory.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

// The factories' registries are process-wide, so the type names used here start with "TF." (or
// are the fixed words the conversion knows) and are registered by one test each.
namespace {

using namespace reflection_test;
using ZAMUnified::ReflectionTypeConversion::ToFormalParameterConversions::
    GetFormalParameterFromStrings;
using ZAMUnified::ReflectionTypeConversion::ToStringConversions::primitiveReturnTypeAsString;

std::shared_ptr<FormalParameter> convert(
    const std::string& type, const std::string& name, const std::string& text,
    std::shared_ptr<UnifiedBusinessObjectMap> objects = nullptr,
    std::shared_ptr<UnifiedCallbackMap> callbacks = nullptr) {
    return GetFormalParameterFromStrings(type, name, text, std::move(objects),
                                         std::move(callbacks));
}

std::shared_ptr<FormalParameter> tagged(const std::string& tag) {
    return std::make_shared<ActualParameter<std::string>>("tag", tag, tag);
}

// The tag of a parameter made by tagged(); "<empty>" for no parameter.
std::string tagOf(const std::shared_ptr<FormalParameter>& parameter) {
    return parameter ? parameter->getParameterName() : "<empty>";
}

// The value of an ActualParameter<T> as text, or "<other type>" for another instantiation.
template <typename T>
std::string scalarText(const std::shared_ptr<FormalParameter>& parameter) {
    auto typed = std::dynamic_pointer_cast<ActualParameter<T>>(parameter);
    return typed ? primitiveReturnTypeAsString(typed->value) : "<other type>";
}

// The elements of an ActualParameter of a list of E, each followed by a comma.
template <typename E>
std::string listText(const std::shared_ptr<FormalParameter>& parameter) {
    auto typed =
        std::dynamic_pointer_cast<ActualParameter<std::shared_ptr<std::vector<E>>>>(parameter);
    if (!typed) {
        return "<other type>";
    }
    std::string text;
    for (E element : *typed->value) {
        text += primitiveReturnTypeAsString(element) + ",";
    }
    return text;
}

TEST(ToFormalParameterConversionsTest, ScalarsAndPrimitiveListsKeepTypeNameAndParameterName) {
    struct Case {
        const char* type;
        const char* text;
        std::string (*render)(const std::shared_ptr<FormalParameter>&);
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"int", "42", scalarText<int>, "42"},
        {"unsigned int", "4000000000", scalarText<unsigned int>, "4000000000"},
        {"float", "0.25", scalarText<float>, "0.25"},
        {"bool", "yes", scalarText<bool>, "true"},
        {"long", "-5", scalarText<long>, "-5"},
        {"char", "qr", scalarText<char>, "q"},
        {"std::string", " a b ", scalarText<std::string>, " a b "},
        {"string", "abc", scalarText<std::string>, "abc"},
        {"std::wstring", "w", scalarText<std::wstring>, "w"},
        {"wstring", "v", scalarText<std::wstring>, "v"},
        {"zam::SecureString", "pw", scalarText<zam::SecureString>, "pw"},
        {"securestring", "pin", scalarText<zam::SecureString>, "pin"},
        {"long long", "9000000000", scalarText<long long>, "9000000000"},
        {"double", " +0.1 ", scalarText<double>, "0.1"},
        {"list(int)", "1;2;3", listText<int>, "1,2,3,"},
        {"list(unsigned int)", "4;5", listText<unsigned int>, "4,5,"},
        {"list(float)", "1.5;2", listText<float>, "1.5,2,"},
        {"list(bool)", "1;no", listText<bool>, "true,false,"},
        {"list(long)", "-1", listText<long>, "-1,"},
        {"list(char)", "a;bc", listText<char>, "a,b,"},
        {"list(std::string)", "a;b|c", listText<std::string>, "a;b,c,"},
        {"list(string)", "x|", listText<std::string>, "x,,"},
        {"list(std::wstring)", "x|y", listText<std::wstring>, "x,y,"},
        {"list(wstring)", "z", listText<std::wstring>, "z,"},
        {"list(zam::SecureString)", "k|m", listText<zam::SecureString>, "k,m,"},
        {"list(securestring)", "n", listText<zam::SecureString>, "n,"},
        {"list(long long)", "5;6", listText<long long>, "5,6,"},
        {"list(double)", "1e300;-2.5", listText<double>, "1e+300,-2.5,"},
        {"list(int)", "", listText<int>, ""},
    };
    for (const Case& c : cases) {
        std::shared_ptr<FormalParameter> parameter = convert(c.type, "arg", c.text);
        ASSERT_TRUE(parameter) << c.type;
        EXPECT_EQ(c.type, parameter->getParameterType());
        EXPECT_EQ("arg", parameter->getParameterName());
        EXPECT_EQ(c.expected, c.render(parameter)) << c.type;
    }
}

TEST(ToFormalParameterConversionsTest, NegativeRejectedTextAndUnknownNamesGiveEmpty) {
    struct Case {
        const char* type;
        const char* text;
    };
    for (const Case& c : std::vector<Case>{{"int", "12abc"},
                                           {"int", ""},
                                           {"unsigned int", "-1"},
                                           {"float", "x"},
                                           {"bool", "perhaps"},
                                           {"long long", "1.0"},
                                           {"double", "1,5"},
                                           {"double", "1e999"},
                                           {"list(double)", "1;x"},
                                           {"list(int)", "1;;2"},
                                           {"list(bool)", "true|false"},
                                           {"Int", "1"},
                                           {"int ", "1"},
                                           {"TF.Unknown", "1"},
                                           {"list(TF.Unknown)", "1"},
                                           {"", ""}}) {
        EXPECT_FALSE(convert(c.type, "x", c.text)) << c.type << " / " << c.text;
    }
}

TEST(ToFormalParameterConversionsTest, EnumsAndStructsComeFromTheirFactories) {
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "TF.Colour", [](std::string text) { return text == "Red" ? tagged("enum") : nullptr; });
    ActualParameterFactory::AddActualParameterFactoryMethodForStruct(
        "TF.Colour", [](std::string) { return tagged("struct"); });
    EXPECT_EQ("enum", tagOf(convert("TF.Colour", "ignored", "Red")));
    // An empty enum answer goes on to the struct factory.
    EXPECT_EQ("struct", tagOf(convert("TF.Colour", "ignored", "Blue")));
    // A factory that throws, or is empty, gives no parameter.
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "TF.Throws",
        [](std::string) -> std::shared_ptr<FormalParameter> { throw std::bad_alloc(); });
    ActualParameterFactory::AddActualParameterFactoryMethodForStruct("TF.EmptyFn", nullptr);
    EXPECT_FALSE(convert("TF.Throws", "x", "1"));
    EXPECT_FALSE(convert("TF.EmptyFn", "x", "1"));
}

TEST(ToFormalParameterConversionsTest, ObjectsAndCallbacksComeThroughTheirReflectors) {
    auto ownObject = tagged("the object");
    auto ownCallback = tagged("the callback");
    ReflectorFactory::AddReflectorFactoryMethod("TF.Contact", [&](auto) {
        return std::make_shared<FakeReflector>("TF.Contact", ownObject);
    });
    ReflectorFactory::AddReflectorFactoryMethodForCallback("TF.OnDone", [&](auto) {
        return std::make_shared<FakeReflector>("TF.OnDone", ownCallback);
    });
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    (*objects)["5"] = std::make_shared<FakeObject>("5", "TF.Contact");
    (*objects)["6"] = std::make_shared<FakeObject>("6", "TF.NoReflector");
    (*objects)["7"] = nullptr;  // an entry holding no object names nothing
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    (*callbacks)["done"] = std::make_shared<FakeCallback>("TF.OnDone");
    (*callbacks)["other"] = std::make_shared<FakeCallback>("TF.Other");
    (*callbacks)["gone"] = nullptr;

    EXPECT_EQ(ownObject, convert("object", "o", "5", objects));
    EXPECT_EQ(ownCallback, convert("callback", "c", "done", nullptr, callbacks));
    for (const char* guid : {"4", "6", "7"}) {
        EXPECT_FALSE(convert("object", "o", guid, objects)) << guid;
    }
    EXPECT_FALSE(convert("object", "o", "5", nullptr));
    for (const char* name : {"missing", "other", "gone"}) {
        EXPECT_FALSE(convert("callback", "c", name, nullptr, callbacks)) << name;
    }
    EXPECT_FALSE(convert("callback", "c", "done", nullptr, nullptr));
}

TEST(ToFormalParameterConversionsTest, NullAsksTheFactoryForTheNamedInterface) {
    ActualParameterFactory::AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
        "TF.Person", [] { return tagged("no person"); });
    EXPECT_EQ("no person", tagOf(convert("null", "n", "TF.Person")));
    EXPECT_FALSE(convert("null", "n", "TF.Nobody"));
}

TEST(ToFormalParameterConversionsTest, OtherListsTryObjectsCallbacksEnumsThenStructs) {
    std::vector<std::string> asked;
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    ActualParameterFactory::AddActualParameterFactoryMethodForListOfUnifiedBusinessObject(
        "TF.Item", [&](std::string text, auto map) {
            asked.push_back(map == objects ? "objects" : "objects, another map");
            return text == "objects" ? tagged("objects") : nullptr;
        });
    ActualParameterFactory::AddActualParameterFactoryMethodForListOfCallback(
        "TF.Item", [&](std::string text, auto map) {
            asked.push_back(map == callbacks ? "callbacks" : "callbacks, another map");
            return text == "callbacks" ? tagged("callbacks") : nullptr;
        });
    ActualParameterFactory::AddActualParameterFactoryMethodForListOfEnum(
        "TF.Item", [&](std::string text) {
            asked.push_back("enums");
            return text == "enums" ? tagged("enums") : nullptr;
        });
    ActualParameterFactory::AddActualParameterFactoryMethodForListOfStruct(
        "TF.Item", [&](std::string) {
            asked.push_back("structs");
            return tagged("structs");
        });

    EXPECT_EQ("objects", tagOf(convert("list(TF.Item)", "l", "objects", objects, callbacks)));
    EXPECT_EQ("callbacks", tagOf(convert("list(TF.Item)", "l", "callbacks", objects, callbacks)));
    EXPECT_EQ("enums", tagOf(convert("list(TF.Item)", "l", "enums", objects, callbacks)));
    EXPECT_EQ("structs", tagOf(convert("list(TF.Item)", "l", "x", objects, callbacks)));
    EXPECT_EQ((std::vector<std::string>{"objects", "objects", "callbacks", "objects", "callbacks",
                                        "enums", "objects", "callbacks", "enums", "structs"}),
              asked);
    // Without maps the object and callback factories are skipped.
    asked.clear();
    EXPECT_EQ("structs", tagOf(convert("list(TF.Item)", "l", "x")));
    EXPECT_EQ((std::vector<std::string>{"enums", "structs"}), asked);
}

TEST(ToFormalParameterConversionsTest, ListElementTypeIsCutBetweenTheParentheses) {
    std::vector<std::string> elementTypes;
    for (const char* element : {"", "TF.E", "TF.E)"}) {
        ActualParameterFactory::AddActualParameterFactoryMethodForListOfStruct(
            element, [&elementTypes, element](std::string) {
                elementTypes.push_back(element);
                return tagged(element);
            });
    }
    EXPECT_EQ("", tagOf(convert("list(", "l", "v")));
    EXPECT_EQ("", tagOf(convert("list()", "l", "v")));
    EXPECT_EQ("TF.E", tagOf(convert("list(TF.E)", "l", "v")));
    // The last character is dropped whatever it is.
    EXPECT_EQ("TF.E", tagOf(convert("list(TF.Ex", "l", "v")));
    EXPECT_EQ("TF.E)", tagOf(convert("list(TF.E))", "l", "v")));
    EXPECT_EQ((std::vector<std::string>{"", "", "TF.E", "TF.E", "TF.E)"}), elementTypes);
}

TEST(ToFormalParameterConversionsTest, EnumsTakePrecedenceOverKeywordsAndLists) {
    // Scalar names come first, so a service cannot take "int" over.
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "int", [](std::string) { return tagged("enum int"); });
    EXPECT_EQ("3", scalarText<int>(convert("int", "i", "3")));

    // Each registration answers only the text "pick me", so that the keyword rules still hold
    // for every other text in this process.
    const std::vector<std::string> names = {
        "object", "null", "callback", "list(int)", "list(TF.Anything)", "list("};
    for (const std::string& name : names) {
        ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
            name, [name](std::string text) {
                return text == "pick me" ? tagged("enum " + name) : nullptr;
            });
    }
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    for (const std::string& name : names) {
        EXPECT_EQ("enum " + name, tagOf(convert(name, "p", "pick me", objects, callbacks)));
    }
    EXPECT_EQ("1,2,", listText<int>(convert("list(int)", "l", "1;2")));
}

}  // namespace
