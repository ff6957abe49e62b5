#include <ZAMUnified/ReturnValue.h>

#include <ZAMUnified/ActualParameter.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace reflection_test;

TEST(ActualParameterTest, KeepsTheTypeNameAsWrittenAndTheValue) {
    ActualParameter<std::string> alias("string", "s", "abc");
    EXPECT_EQ("string", alias.getParameterType());
    EXPECT_EQ("s", alias.getParameterName());
    EXPECT_EQ("abc", alias.value);
    ActualParameter<long long> wide("long long", "n", -9000000000LL);
    EXPECT_EQ(-9000000000LL, wide.value);
}

TEST(ActualParameterTest, CastsToAnotherInstantiationFail) {
    std::shared_ptr<FormalParameter> parameter =
        std::make_shared<ActualParameter<int>>("int", "x", 7);
    EXPECT_FALSE(std::dynamic_pointer_cast<ActualParameter<long>>(parameter));
    EXPECT_FALSE(std::dynamic_pointer_cast<ActualParameter<unsigned int>>(parameter));
    EXPECT_FALSE(
        std::dynamic_pointer_cast<ActualParameter<std::shared_ptr<std::vector<int>>>>(parameter));
    auto typed = std::dynamic_pointer_cast<ActualParameter<int>>(parameter);
    ASSERT_TRUE(typed);
    EXPECT_EQ(7, typed->value);
}

TEST(ActualParameterTest, ParametersBuiltFromOneListShareIt) {
    auto list = std::make_shared<std::vector<int>>(std::vector<int>{1, 2});
    ActualParameter<std::shared_ptr<std::vector<int>>> first("list(int)", "a", list);
    ActualParameter<std::shared_ptr<std::vector<int>>> second("list(int)", "b", list);
    first.value->push_back(3);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), *second.value);
    EXPECT_EQ(list, second.value);
}

TEST(ActualParameterTest, SecureStringValueIsAHandleOnTheSameSecret) {
    zam::SecureString secret(std::string("s3cret"));
    ActualParameter<zam::SecureString> parameter("securestring", "p", secret);
    EXPECT_EQ(secret.getEncryptedValue(), parameter.value.getEncryptedValue());
    secret.setValue("other", 5);
    EXPECT_TRUE(parameter.value == zam::SecureString(std::string("other")));
}

TEST(ReturnValueTest, NonListAndVoidResults) {
    TextReturnValue text("Contact", "c");
    EXPECT_FALSE(text.isList());
    EXPECT_EQ("Contact", text.getReturnType());

    VoidReturnValue none;
    EXPECT_FALSE(none.isList());
    EXPECT_EQ("void", none.getReturnType());
    EXPECT_EQ("", none.getValueAsString());
    EXPECT_FALSE(none.getReflector());
}

TEST(ReturnValueTest, TypedResultsKeepTypeAndValue) {
    FakeTypedReturnValue<int> number("int", 42);
    EXPECT_EQ(42, number.getReturnValue());
    EXPECT_EQ("int", number.getReturnType());
    EXPECT_FALSE(number.isList());

    std::shared_ptr<ReturnValue> asBase = std::make_shared<FakeTypedReturnValue<long>>("long", 1L);
    EXPECT_FALSE(std::dynamic_pointer_cast<TypedReturnValue<int>>(asBase));
    EXPECT_TRUE(std::dynamic_pointer_cast<TypedReturnValue<long>>(asBase));
}

TEST(ReturnValueTest, SecureStringResultSharesItsEncryptedData) {
    zam::SecureString secret(std::string("pin"));
    FakeTypedReturnValue<zam::SecureString> result("zam::SecureString", secret);
    zam::SecureString copy = result.getReturnValue();
    EXPECT_TRUE(copy == secret);
    // Same IV and ciphertext: one shared value, not a second encryption.
    EXPECT_EQ(secret.getEncryptedValue(), copy.getEncryptedValue());
    copy.setValue("new", 3);
    EXPECT_TRUE(result.getReturnValue() == zam::SecureString(std::string("new")));
}

}  // namespace
