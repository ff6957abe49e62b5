#include <ZAMUnified/ToFormalParameterConversions.h>

#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ValueTypeList.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <new>

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
    return GetFormalParameterFromStrings(type, name, text, objects, callbacks);
}

std::shared_ptr<FormalParameter> tagged(const std::string& tag) {
    return std::make_shared<ActualParameter<std::string>>("tag", tag, tag);
}

// The tag of a parameter made by tagged(); "<empty>" for no parameter.
std::string tagOf(const std::shared_ptr<FormalParameter>& parameter) {
    return parameter ? parameter->getParameterName() : "<empty>";
}

// "<C++ type> <value>" of a parameter of one of the value types, or "list of <C++ type> " and
// each element followed by a comma for a list of one; found by trying each type in turn.
std::string rendered(const std::shared_ptr<FormalParameter>& parameter) {
#define SF_TEST_TRY_TYPE(type, ...)                                                         \
    if (auto scalar = std::dynamic_pointer_cast<ActualParameter<type>>(parameter)) {        \
        return #type " " + primitiveReturnTypeAsString(scalar->value);                      \
    }                                                                                       \
    if (auto list =                                                                         \
            std::dynamic_pointer_cast<ActualParameter<std::shared_ptr<std::vector<type>>>>( \
                parameter)) {                                                               \
        std::string text = "list of " #type " ";                                            \
        for (const type& element : *list->value) {                                          \
            text += primitiveReturnTypeAsString(element) + ",";                             \
        }                                                                                   \
        return text;                                                                        \
    }
    ZAMUNIFIED_VALUE_TYPES(SF_TEST_TRY_TYPE)
#undef SF_TEST_TRY_TYPE
    return parameter ? "another type" : "<empty>";
}

// Each type name and alias makes its own type, keeping both names; the platform parsers' edges
// are pinned in FromStringConversionsTest, so these rows show the mapping and the separators.
TEST(ToFormalParameterConversionsTest, TypeNamesPickTheirConversionAndRejectionsGiveEmpty) {
    // clang-format off
    // The expected text is "" for no parameter.
    const struct { const char *type, *text, *expected; } cases[] = {
        {"int", "42", "int 42"}, {"unsigned int", "4000000000", "unsigned int 4000000000"},
        {"float", "0.25", "float 0.25"}, {"bool", "yes", "bool true"}, {"long", "-5", "long -5"},
        {"char", "qr", "char q"}, {"std::string", " a b ", "std::string  a b "},
        {"string", "abc", "std::string abc"}, {"std::wstring", "w", "std::wstring w"},
        {"wstring", "v", "std::wstring v"}, {"zam::SecureString", "pw", "zam::SecureString pw"},
        {"securestring", "pin", "zam::SecureString pin"},
        {"long long", "9000000000", "long long 9000000000"}, {"double", " +0.1 ", "double 0.1"},
        {"list(int)", "1;2;3", "list of int 1,2,3,"},
        {"list(unsigned int)", "4;5", "list of unsigned int 4,5,"},
        {"list(float)", "1.5;2", "list of float 1.5,2,"},
        {"list(bool)", "1;no", "list of bool true,false,"},
        {"list(long)", "-1", "list of long -1,"}, {"list(char)", "a;bc", "list of char a,b,"},
        {"list(std::string)", "a;b|c", "list of std::string a;b,c,"},
        {"list(string)", "x|", "list of std::string x,,"},
        {"list(std::wstring)", "x|y", "list of std::wstring x,y,"},
        {"list(wstring)", "z", "list of std::wstring z,"},
        {"list(zam::SecureString)", "k|m", "list of zam::SecureString k,m,"},
        {"list(securestring)", "n", "list of zam::SecureString n,"},
        {"list(long long)", "5;6", "list of long long 5,6,"},
        {"list(double)", "1e300;-2.5", "list of double 1e+300,-2.5,"},
        {"list(int)", "", "list of int "},
        // Text the parsers refuse, and names that are none of the known ones.
        {"int", "12abc", ""}, {"float", "x", ""}, {"bool", "perhaps", ""},
        {"list(double)", "1;x", ""}, {"list(int)", "1;;2", ""}, {"list(bool)", "true|false", ""},
        {"Int", "1", ""}, {"int ", "1", ""}, {"TF.Unknown", "1", ""}, {"list(TF.Unknown)", "1", ""},
        {"", "", ""},
    };
    // clang-format on
    for (const auto& c : cases) {
        const auto parameter = convert(c.type, "arg", c.text);
        EXPECT_EQ(*c.expected ? std::string(c.type) + "/arg: " + c.expected : "<empty>",
                  parameter ? parameter->getParameterType() + "/" + parameter->getParameterName() +
                                  ": " + rendered(parameter)
                            : "<empty>")
            << c.type << " / " << c.text;
    }
}

TEST(ToFormalParameterConversionsTest, EnumsStructsAndNullComeFromTheirFactories) {
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
    // "null" asks the factory for the interface that the text names.
    ActualParameterFactory::AddActualParameterFactoryMethodForNullUnifiedBusinessObject(
        "TF.Person", [] { return tagged("no person"); });
    EXPECT_EQ("no person", tagOf(convert("null", "n", "TF.Person")));
    EXPECT_FALSE(convert("null", "n", "TF.Nobody"));
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
    // Unknown, without a reflector, an empty entry, or no map at all.
    for (const auto& name : {"4", "6", "7", "5"}) {
        EXPECT_FALSE(convert("object", "o", name, *name == '5' ? nullptr : objects)) << name;
    }
    for (const auto& name : {"missing", "other", "gone", "done"}) {
        EXPECT_FALSE(convert("callback", "c", name, objects, *name == 'd' ? nullptr : callbacks))
            << name;
    }
}

TEST(ToFormalParameterConversionsTest, OtherListsTryObjectsCallbacksEnumsThenStructs) {
    std::vector<std::string> asked;
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    // Each factory notes its kind and answers the text naming it; the struct factory answers all.
    auto answer = [&asked](const std::string& kind, const std::string& text) {
        asked.push_back(kind);
        return text == kind || kind == "structs" ? tagged(kind) : nullptr;
    };
    using F = ActualParameterFactory;
    F::AddActualParameterFactoryMethodForListOfUnifiedBusinessObject(
        "TF.Item", [&](std::string text, auto map) {
            return answer(map == objects ? "objects" : "objects, another map", text);
        });
    F::AddActualParameterFactoryMethodForListOfCallback("TF.Item", [&](std::string text, auto map) {
        return answer(map == callbacks ? "callbacks" : "callbacks, another map", text);
    });
    F::AddActualParameterFactoryMethodForListOfEnum(
        "TF.Item", [&](std::string text) { return answer("enums", text); });
    F::AddActualParameterFactoryMethodForListOfStruct(
        "TF.Item", [&](std::string text) { return answer("structs", text); });

    std::vector<std::string> tags;
    for (const char* text : {"objects", "callbacks", "enums", "x"}) {
        tags.push_back(tagOf(convert("list(TF.Item)", "l", text, objects, callbacks)));
    }
    EXPECT_EQ((std::vector<std::string>{"objects", "callbacks", "enums", "structs"}), tags);
    EXPECT_EQ((std::vector<std::string>{"objects", "objects", "callbacks", "objects", "callbacks",
                                        "enums", "objects", "callbacks", "enums", "structs"}),
              asked);
    // Without maps the object and callback factories are skipped.
    asked.clear();
    EXPECT_EQ("structs", tagOf(convert("list(TF.Item)", "l", "x")));
    EXPECT_EQ((std::vector<std::string>{"enums", "structs"}), asked);
}

// The last character is dropped whatever it is; "list(" alone names the empty element type.
TEST(ToFormalParameterConversionsTest, ListElementTypeIsCutBetweenTheParentheses) {
    for (const char* element : {"", "TF.E", "TF.E)"}) {
        ActualParameterFactory::AddActualParameterFactoryMethodForListOfStruct(
            element, [element](std::string) { return tagged(element); });
    }
    std::vector<std::string> elementTypes;
    for (const char* type : {"list(", "list()", "list(TF.E)", "list(TF.Ex", "list(TF.E))"}) {
        elementTypes.push_back(tagOf(convert(type, "l", "v")));
    }
    EXPECT_EQ((std::vector<std::string>{"", "", "TF.E", "TF.E", "TF.E)"}), elementTypes);
}

TEST(ToFormalParameterConversionsTest, EnumsTakePrecedenceOverKeywordsAndLists) {
    // Scalar names come first, so a service cannot take "int" over.
    ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
        "int", [](std::string) { return tagged("enum int"); });
    EXPECT_EQ("int 3", rendered(convert("int", "i", "3")));

    // Each registration answers only the text "pick me", so that the keyword rules still hold
    // for every other text in this process.
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    auto callbacks = std::make_shared<UnifiedCallbackMap>();
    for (const std::string name :
         {"object", "null", "callback", "list(int)", "list(TF.Anything)", "list("}) {
        ActualParameterFactory::AddActualParameterFactoryMethodForEnum(
            name, [name](std::string text) {
                return text == "pick me" ? tagged("enum " + name) : nullptr;
            });
        EXPECT_EQ("enum " + name, tagOf(convert(name, "p", "pick me", objects, callbacks)));
    }
    EXPECT_EQ("list of int 1,2,", rendered(convert("list(int)", "l", "1;2")));
}

}  // namespace
