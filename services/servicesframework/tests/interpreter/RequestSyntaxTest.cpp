// The request syntax: what each written form turns into, and where a malformed line is refused.
#include <ZAMUnified/RequestSyntax.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using ZAMUnified::RequestSyntax::Argument;
using ZAMUnified::RequestSyntax::parsePath;
using ZAMUnified::RequestSyntax::parseSignature;
using ZAMUnified::RequestSyntax::Step;

// "name[guid](type|name|value; ...)" for compact comparisons.
std::string render(const std::vector<Step>& steps) {
    std::string text;
    for (const Step& step : steps) {
        text += (text.empty() ? "" : " / ") + std::string(step.guidStart ? "@" : "") + step.name;
        std::string separator = "(";
        for (const Argument& a : step.arguments) {
            text += separator + a.type + "|" + a.name + "|" + a.value;
            separator = "; ";
        }
        if (step.hasArgumentList) {
            text += step.arguments.empty() ? "()" : ")";
        }
    }
    return text;
}

TEST(RequestSyntaxTest, WrittenFormsAndWhatTheyMean) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"HelloWorldService/sayHello", "HelloWorldService / sayHello"},
        {"  A / b / c  ", "A / b / c"}, {"A/sayHello()", "A / sayHello()"},
        {"A/sayHello(string name=\"Ada Lovelace\")", "A / sayHello(string|name|Ada Lovelace)"},
        {"A/add(int a=1, int b=-2)", "A / add(int|a|1; int|b|-2)"},
        {"A/add(a=1,b=2)", "A / add(|a|1; |b|2)"}, {"A/add(1, 2)", "A / add(||1; ||2)"},
        {"A/add(int 1, unsigned int 2)", "A / add(int||1; unsigned int||2)"},
        {"A/f(long long big=9, list(long long) xs=1;2)", "A / f(long long|big|9; list(long long)|xs|1;2)"},
        {"A/greetAll(list(string) names=\"a|b\")", "A / greetAll(list(string)|names|a|b)"},
        // After "=", bare text runs to the next "," or ")" and is trimmed.
        {"A/Greeting(value= Good morning )", "A / Greeting(|value|Good morning)"},
        {"A/f(a= x y , b=z)", "A / f(|a|x y; |b|z)"}, {"A/f(x=a=b)", "A / f(|x|a=b)"},
        {"A/f(\"\")", "A / f(||)"},
        {"A/f(s=\"say \\\"hi\\\"\\n\\ttab\\\\\")", "A / f(|s|say \"hi\"\n\ttab\\)"},
        {"@17/Name", "@17 / Name"}, {"@17/Name(\"Grace\")", "@17 / Name(||Grace)"},
        {"UnifiedBusinessObject(\"17\")/Age", "UnifiedBusinessObject(||17) / Age"},
        {"ZAMUnified::HelloWorldService/Greeting", "ZAMUnified::HelloWorldService / Greeting"},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(c.second, render(parsePath(c.first))) << c.first;
    }
    EXPECT_EQ("UnifiedBusinessObject/Owner/Name",
              ZAMUnified::RequestSyntax::interpreterPath(parsePath("@3/Owner/Name(\"x\")")));
}

TEST(RequestSyntaxTest, NEGATIVE_MalformedLinesNameTheColumn) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"", "column 1: the request is empty"}, {"   ", "column 4: the request is empty"},
        {"A//b", "column 3: empty step"}, {"A/", "column 3: empty step"},
        {"A/b c", "column 5: unexpected 'c' after step 'b'"}, {"A/b(", "column 5: missing ')'"},
        {"A/b(x=1", "column 8: missing ')'"}, {"A/b(1,)", "column 7: empty argument"},
        {"A/b(,1)", "column 5: empty argument"},
        {"A/b(=1)", "column 5: missing argument name before '='"},
        {"A/b(x=)", "column 7: missing value for 'x'"},
        {"A/b(x=\"open)", "column 13: unterminated quoted value"},
        {"A/b(\"a\\q\")", "column 8: unknown escape \\q"},
        {"A/b(\"v\" int)", "column 12: a quoted value must be the last part of its argument"},
        {"A/b(x=\"v\" y)", "column 11: unexpected text after the quoted value of 'x'"},
        {"A/b(x=ab\"c\")", "column 9: a value with a quote must be quoted as a whole"},
        {"A/b(list(int xs=1)", "column 19: missing ')'"},
        {"A/@3", "column 3: only the first step may start at a GUID"},
        {"@/Name", "column 2: '@' must be followed by a GUID"},
        {"@3(x)/Name", "column 3: a GUID start takes no arguments"},
        {"A/(x)", "column 3: unexpected '(' where a name should be"},
    };
    // clang-format on
    for (const auto& c : cases) {
        try {
            parsePath(c.first);
            ADD_FAILURE() << "accepted: " << c.first;
        } catch (const ZAMUnified::RequestSyntax::SyntaxError& error) {
            EXPECT_EQ(c.second, std::string(error.what())) << c.first;
        }
    }
}

TEST(RequestSyntaxTest, SignaturesSplitOutsideParenthesesAndQuotingRoundTrips) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ((Pairs{{"int", "a"}, {"int", "b"}}), parseSignature("int a, int b"));
    EXPECT_EQ((Pairs{{"list(long long)", "xs"}, {"unsigned int", "n"}}),
              parseSignature("list(long long) xs,unsigned int n"));
    EXPECT_EQ((Pairs{{"int", ""}, {"std::string", ""}}), parseSignature("int, std::string"));
    EXPECT_TRUE(parseSignature("").empty());
    EXPECT_TRUE(parseSignature("  ").empty());

    const std::string awkward = "a \"quoted\" \\ back\nslash\tand\r";
    const auto steps = parsePath("A/f(s=" + ZAMUnified::RequestSyntax::quote(awkward) + ")");
    EXPECT_EQ(awkward, steps.at(1).arguments.at(0).value);
}

}  // namespace
