#include <ZAMUnified/ReflectionTypeConversion.h>

#include <ZAMUnified/HelperReturnValues.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace {

using namespace reflection_test;
using namespace ZAMUnified::ReflectionTypeConversion;
using namespace ZAMUnified::ReflectionTypeConversion::FromStringConversions;
using namespace ZAMUnified::ReflectionTypeConversion::ToStringConversions;
using ZAMUnified::ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString;

// What a conversion gives: its value as text, or the kind of exception it throws.
template <typename T>
std::string outcome(T (*convert)(const std::string&), const std::string& text) {
    try {
        return "value " + primitiveReturnTypeAsString(convert(text));
    } catch (const std::out_of_range&) {
        return "out of range";
    } catch (const std::invalid_argument&) {
        return "invalid";
    }
}

// A double is read by the platform's float rules, with double's range: the same texts are refused
// as not numbers, and only what lies beyond double is out of range.
TEST(FromStringConversionsTest, DoublesReadByTheFloatRules) {
    // clang-format off
    const struct { const char *text, *expected; } cases[] = {
        {"0.1", "0.1"}, {" +2.5\t", "2.5"}, {"-1e300", "-1e+300"},
        {"3.4028236e38", "3.4028236e+38"},  // beyond float
        {"123456789.125", "123456789.125"}, {"inf", "inf"}, {"1e400", "out of range"},
        {"1e-400", "out of range"}, {"", "invalid"}, {" ", "invalid"}, {"1.5x", "invalid"},
        {"0x10", "invalid"}, {"1,5", "invalid"}, {"+-1", "invalid"}, {"- 1", "invalid"},
    };
    // clang-format on
    for (const auto& c : cases) {
        const std::string read = outcome(parameterTypeStringAsPrimitiveTypeDouble, c.text);
        EXPECT_EQ(c.expected, read.rfind("value ", 0) == 0 ? read.substr(6) : read) << c.text;
        if (read == "invalid") {
            EXPECT_THROW(KORCoreUtils::toFloat(c.text), std::invalid_argument) << c.text;
        }
    }
}

// Plain decimal text and everything around it reads exactly as through the platform parsers,
// whose outcomes for these texts NumberParseTest pins.
TEST(FromStringConversionsTest, IntegersReadAsThePlatformReadsThem) {
    // Separated by '|'; the empty text and blanks are among them.
    std::vector<std::string> texts;
    KORCoreUtils::split(
        "0|7|-0|007|-7|+7| 7|7 |\t-7\n|- 7|+-7|-|+|| |2147483647|2147483648|"
        "-2147483648|-2147483649|4294967295|4294967296|9223372036854775807|"
        "9223372036854775808|-9223372036854775808|-9223372036854775809|"
        "99999999999999999999|1.0|1e3|0x10|12abc|1 2",
        texts, "|");
    ASSERT_EQ(31u, texts.size());
    for (const std::string& text : texts) {
        EXPECT_EQ(outcome<int>(KORCoreUtils::toInt, text) + ", " +
                      outcome<unsigned int>(KORCoreUtils::toUnsignedInt, text) + ", " +
                      outcome<long>(KORCoreUtils::toLong, text) + ", " +
                      outcome<long long>(KORCoreUtils::toLongLong, text),
                  outcome(parameterTypeStringAsPrimitiveTypeInt, text) + ", " +
                      outcome(parameterTypeStringAsPrimitiveTypeUnsignedInt, text) + ", " +
                      outcome(parameterTypeStringAsPrimitiveTypeLong, text) + ", " +
                      outcome(parameterTypeStringAsPrimitiveTypeLongLong, text))
            << text;
    }
}

TEST(FromStringConversionsTest, SecureStringKeepsEveryByteButTextStopsAtNul) {
    const std::string a0b("a\0b", 3);
    EXPECT_TRUE(parameterTypeStringAsPrimitiveTypeSecureString(a0b) == zam::SecureString(a0b));
    EXPECT_EQ("a|", primitiveReturnTypeSecureStringAsString(zam::SecureString(a0b)) + "|" +
                        primitiveReturnTypeSecureStringAsString(zam::SecureString()));
}

// The typed lists in general are read in the conversion tests; these are the splitting edges.
TEST(FromStringConversionsTest, ListsSplitAtTheirSeparator) {
    // Each char is the first character of its piece; an empty piece gives NUL.
    EXPECT_EQ((std::vector<char>{'a', '\0', 'c'}),
              *parameterTypeStringAsListOfPrimitiveTypeChar("ab;;c"));
    EXPECT_EQ((std::vector<std::wstring>{L"x", L"y;z"}),
              *parameterTypeStringAsListOfPrimitiveTypeWString("x|y;z"));
    EXPECT_TRUE(parameterTypeStringAsListOfPrimitiveTypeString("")->empty());
    auto list = parameterTypeStringAsList<int>("4,5", ",", parameterTypeStringAsPrimitiveTypeInt);
    EXPECT_EQ((std::vector<int>{4, 5}), *list);

    auto secrets = parameterTypeStringAsListOfPrimitiveTypeSecureString("p|q");
    ASSERT_EQ(2u, secrets->size());
    EXPECT_EQ("p q", primitiveReturnTypeAsString((*secrets)[0]) + " " +
                         primitiveReturnTypeAsString((*secrets)[1]));
    // Encrypted one by one: separate values.
    EXPECT_NE((*secrets)[0].getEncryptedValue(), (*secrets)[1].getEncryptedValue());
}

// The typed-result tables elsewhere cover the ordinary values; these are the edges.
TEST(ToStringConversionsTest, EdgesOfTheScalarTexts) {
    EXPECT_EQ("4294967295",
              primitiveReturnTypeUnsignedIntAsString(std::numeric_limits<unsigned int>::max()));
    EXPECT_EQ("-1e-300", primitiveReturnTypeDoubleAsString(-1e-300));
    EXPECT_EQ(std::string(1, '\0'), primitiveReturnTypeCharAsString('\0'));
    EXPECT_EQ("", primitiveReturnTypeImageAsString(
                      std::make_shared<Image>("image/png", std::vector<unsigned char>{1})));
    EXPECT_EQ("", primitiveReturnTypeImageAsString(nullptr));
    EXPECT_EQ("NULL_SHARED_PTR", objectReturnTypeAsString(nullptr));
    EXPECT_EQ("Contact 17",
              objectReturnTypeAsString(std::make_shared<FakeObject>("17", "Contact")));
    EXPECT_EQ("UnifiedBusinessObject 3",
              objectReturnTypeAsString(std::make_shared<FakeObject>("3", "")));
}

template <typename T>
std::shared_ptr<ReturnValue> fake(T value) {
    return std::make_shared<FakeTypedReturnValue<T>>("typed", std::move(value));
}

// A result that is two typed results at once shows which cast is tried first.
template <typename First, typename Second>
class TwoTyped : public FakeTypedReturnValue<First>, public FakeTypedReturnValue<Second> {
  public:
    TwoTyped(First first, Second second)
        : FakeTypedReturnValue<First>("first", first),
          FakeTypedReturnValue<Second>("second", second) {}
};

template <typename First, typename Second>
std::shared_ptr<ReturnValue> twoTyped(First first, Second second) {
    // Seen through the second base, so the cast order, not the pointer, decides.
    return std::static_pointer_cast<FakeTypedReturnValue<Second>>(
        std::make_shared<TwoTyped<First, Second>>(first, second));
}

// Typed results are read through the ordered casts, not their own text (the fakes' own text is
// "own text"): the fakes, and the results the helpers make, also where the text is empty. Other
// results use their own text, or fail.
TEST(GetReturnValueAsStringTest, TypedResultsUseTheFrameworkTextInAFixedOrder) {
    const std::string a0b("a\0b", 3);
    const std::string failed =
        "Failed to convert the ReturnValue to a string successfully, for ReturnType ";
    // clang-format off
    const std::pair<std::shared_ptr<ReturnValue>, std::string> cases[] = {
        {fake<int>(-1), "-1"}, {fake<unsigned int>(2u), "2"}, {fake<float>(2.5f), "2.5"},
        {fake<bool>(true), "true"}, {fake<long>(3L), "3"}, {fake<char>('7'), "7"},
        {fake<std::string>(""), ""}, {fake<std::wstring>(L"w"), "w"},
        {fake<zam::SecureString>(zam::SecureString(a0b)), "a"}, {fake<long long>(4LL), "4"},
        {fake<double>(0.3), "0.3"}, {detail::wrapValue<bool>(false), "false"},
        {detail::wrapValue<long>(-3000000000L), "-3000000000"},
        {detail::wrapValue<std::string>(std::string()), ""},
        {detail::wrapValue<std::wstring>(std::wstring(L"wide")), "wide"},
        {detail::wrapValue<zam::SecureString>(zam::SecureString(a0b)), "a"},
        {detail::wrapValue<std::vector<std::string>>({"a", "b"}), "a|b"},
        // A list result without a vector reads as the empty text.
        {detail::wrapValue<std::shared_ptr<std::vector<int>>>(nullptr), ""},
        {twoTyped<int, long long>(1, 2LL), "1"}, {twoTyped<bool, long>(true, 5L), "true"},
        {twoTyped<char, std::string>('c', "text"), "c"},
        {twoTyped<std::string, long long>("text", 3LL), "text"},
        {nullptr, "GetReturnValueAsString received a NULL pointer to a ReturnValue."},
        {std::make_shared<TextReturnValue>("list(int)", "1;2"), "1;2"},
        {std::make_shared<TextReturnValue>("Contact", ""), failed + "\"Contact\"."},
        {std::make_shared<VoidReturnValue>(), failed + "\"void\"."},
        // A typed result of a type the framework does not convert falls back to its own text.
        {fake<short>(1), "own text"},
    };
    // clang-format on
    int row = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, GetReturnValueAsString(c.first)) << "row " << row++;
    }
}

}  // namespace
