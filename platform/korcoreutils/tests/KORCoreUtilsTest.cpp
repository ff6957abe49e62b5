#include "KORCoreUtils.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <thread>

namespace {

using namespace KORCoreUtils;
using namespace std::string_literals;
using Strings = std::vector<std::string>;

// The pieces are appended behind what the vector already holds ("kept").
TEST(SplitTest, KeepsEveryPieceBetweenWholeDelimiters) {
    // clang-format off
    const struct { std::string text, delimiter; Strings pieces; } cases[] = {
        {"a::b", "::", {"kept", "a", "b"}}, {"::", "::", {"kept", "", ""}},
        {"a,,b", ",", {"kept", "a", "", "b"}}, {"/a//b/", "/", {"kept", "", "a", "", "b", ""}},
        {"a:b::c", "::", {"kept", "a:b", "c"}}, {":::", "::", {"kept", "", ":"}},
        {"a-->b-->", "-->", {"kept", "a", "b", ""}}, {"abc", ",", {"kept", "abc"}},
        {"abc", "", {"kept", "abc"}}, {"", ",", {"kept"}}, {"", "", {"kept"}}};
    // clang-format on
    for (const auto& c : cases) {
        Strings out{"kept"};
        split(c.text, out, c.delimiter);
        EXPECT_EQ(out, c.pieces) << '"' << c.text << "\" by \"" << c.delimiter << '"';
    }
}

// The message of the exception of type E that `parse` throws on `text`; an exception of another
// type fails the test.
template <typename E, typename Parse>
std::string thrown(Parse parse, const std::string& text) {
    try {
        parse(text);
    } catch (const E& e) {
        return e.what();
    }
    return "nothing thrown";
}

// Runs one parser over texts it must accept and texts it must refuse, checking the exception type
// and that its message names the text and the type.
template <typename T, typename Parse>
void checkParser(Parse parse, const char* typeName,
                 const std::vector<std::pair<std::string, T>>& good, const Strings& invalid,
                 const Strings& outOfRange) {
    for (const auto& [text, value] : good) {
        EXPECT_EQ(parse(text), value) << '"' << text << '"';
    }
    for (const auto& text : invalid) {
        EXPECT_EQ(thrown<std::invalid_argument>(parse, text), '"' + text + "\" is not " + typeName);
    }
    for (const auto& text : outOfRange) {
        EXPECT_EQ(thrown<std::out_of_range>(parse, text),
                  '"' + text + "\" is out of the range of " + typeName);
    }
}

// Texts no integer parser may accept.
const Strings kNotIntegers = {"",    " ",   "12abc", "1.5", "0x10", "+",  "-",       "1 2",
                              "--1", "+-1", "++1",   "abc", "1e3",  "\v", "\xD9\xA3"};

// clang-format off
TEST(NumberParseTest, IntegersOfEveryWidthFloatsAndBools) {
    Strings invalid = kNotIntegers;
    invalid.push_back("- 1");
    checkParser<int>([](const std::string& t) { return toInt(t); }, "an int",
        {{"0", 0}, {"-0", 0}, {"42", 42}, {"+42", 42}, {" \t-17\n", -17}, {"007", 7},
         {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}},
        invalid, {"2147483648", "-2147483649", "99999999999999999999"});
    invalid = kNotIntegers;  // and no minus sign at all
    invalid.insert(invalid.end(), {"-1", "-0", "-4294967297"});
    checkParser<unsigned int>([](const std::string& t) { return toUnsignedInt(t); },
        "an unsigned int", {{"0", 0u}, {"+7", 7u}, {" 4294967295 ", UINT_MAX}}, invalid,
        {"4294967296", "18446744073709551615"});
    checkParser<long>([](const std::string& t) { return toLong(t); }, "a long",
        {{"9223372036854775807", LONG_MAX}, {"-9223372036854775808", LONG_MIN}},
        kNotIntegers, {"9223372036854775808", "-9223372036854775809"});
    checkParser<long long>([](const std::string& t) { return toLongLong(t); }, "a long long",
        {{"9223372036854775807", LLONG_MAX}, {"-9223372036854775808", LLONG_MIN}, {"-5", -5}},
        kNotIntegers, {"9223372036854775808", "-9223372036854775809"});
    // The form with a default never throws.
    Strings withDefault;
    for (const char* text : {"12", " 7\t", "4294967295", "4294967296", "-1", "x", "", "1.0", "0"}) {
        withDefault.push_back(toString(toUnsignedInt(text, 99u)));
    }
    EXPECT_EQ(withDefault, (Strings{"12", "7", "4294967295", "99", "99", "99", "99", "99", "0"}));
    checkParser<float>([](const std::string& t) { return toFloat(t); }, "a float",
        {{"1.5", 1.5f}, {" -2.5e3\n", -2500.0f}, {"+.5", 0.5f}, {"5.", 5.0f}, {"1E-2", 0.01f},
         {"1e-45", std::numeric_limits<float>::denorm_min()}, {"3.4028235e38", FLT_MAX},
         {"inf", INFINITY}, {"-INF", -INFINITY}, {"infinity", INFINITY}},
        {"", " ", "1.5f", "0x1p3", "1,5", "e5", "1e", "+", "-", "- 1", "1.5.2", "nanx", "+-1"},
        {"3.5e38", "1e39", "-1e39", "1e-50"});
    EXPECT_TRUE(std::isnan(toFloat("nan")) && std::isnan(toFloat(" NaN ")));
    checkParser<bool>(toBool, "a bool",
        {{"true", true}, {"TRUE", true}, {"True", true}, {"1", true}, {" yes\t", true},
         {"YeS", true}, {"\ntrue ", true}, {"false", false}, {"FALSE", false}, {"0", false},
         {"no", false}, {"No", false}, {" fAlSe ", false}},
        {"", " ", "t", "y", "2", "truee", "on", "nope", "1 0", "-1"}, {});
}
// clang-format on

TEST(ToStringTest, IntegersBoolsAndShortestFloats) {
    // clang-format off
    const Strings got = {toString(0), toString(INT_MIN), toString(INT_MAX), toString(UINT_MAX),
        toString(LONG_MIN), toString(LLONG_MAX), toString(-12LL), toString(true), toString(false),
        toString(0.1f), toString(1.0f), toString(-2.5f), toString(1e30f), toString(FLT_MAX),
        toString(std::numeric_limits<float>::denorm_min()), toString(NAN), toString(INFINITY),
        toString(-INFINITY)};
    // clang-format on
    EXPECT_EQ(got, (Strings{"0", "-2147483648", "2147483647", "4294967295", "-9223372036854775808",
                            "9223372036854775807", "-12", "true", "false", "0.1", "1", "-2.5",
                            "1e+30", "3.4028235e+38", "1e-45", "nan", "inf", "-inf"}));
    // Shortest texts still read back bit for bit; the fuzzer does the same for every number it
    // parses.
    for (const float value : {0.1f, 1e-45f, FLT_MAX, -FLT_MAX, FLT_MIN, -0.0f, 0.0f, 1.0f / 3.0f,
                              16777217.0f, 123456.789f, 3.0e-39f, INFINITY, -INFINITY}) {
        const float back = toFloat(toString(value));
        EXPECT_EQ(0, std::memcmp(&value, &back, sizeof value)) << toString(value);
    }
}

// Each of the 256 byte values becomes the code of the same number and back.
TEST(WideStringTest, CharacterForCharacter) {
    // Codes above eight bits keep their low byte: U+0141 becomes 'A', U+1F600 becomes NUL.
    EXPECT_EQ(toString(std::wstring(L"A\u00E9\u0141\U0001F600")), "A\xE9"s + "A\0"s);
    EXPECT_EQ(toWideString(""), L"");
    std::wstring wide;
    for (int c = 0; c < 256; ++c) {
        wide += static_cast<wchar_t>(c);
    }
    const std::string every(wide.begin(), wide.end());  // each code as one char: its low byte
    EXPECT_EQ(toWideString(every), wide);
    EXPECT_EQ(toString(wide), every);
}

// Only ASCII letters fold, to lower case, and bytes compare unsigned, as strcasecmp does in "C";
// "\xC4" and "\xE4" are the Latin-1 codes of A-umlaut and a-umlaut.
TEST(CaseInsensitiveTest, EqualsAndCompare) {
    // clang-format off
    const struct { std::string a, b; int sign; } cases[] = {
        {"Hello World", "hELLO wORLD", 0}, {"", "", 0}, {"abc", "abcd", -1}, {"a", "b", -1},
        {"\xC4", "\xE4", -1}, {"a\0b"s, "A\0B"s, 0}, {"a\0b"s, "a\0c"s, -1}, {"abc", "ABC", 0},
        {"abc", "ABD", -1}, {"ABD", "abc", 1}, {"ab", "ABC", -1}, {"ABC", "ab", 1}, {"", "a", -1},
        {"Z", "a", 1}, {"_", "a", -1}, {"a\xFF", "A\x01", 1}};
    // clang-format on
    for (const auto& c : cases) {
        const int compared = caseInsensitiveStringCompare(c.a, c.b);
        EXPECT_EQ(
            std::make_pair(c.sign, c.sign == 0),
            std::make_pair((compared > 0) - (compared < 0), caseInsensitiveStringEquals(c.a, c.b)))
            << testing::PrintToString(c.a) << " " << testing::PrintToString(c.b);
    }
}

TEST(FileUtilsTest, FileNameAndParentDirectory) {
    // clang-format off
    const char* const cases[][3] = {{"/a/b/c.xml", "c.xml", "/a/b"}, {"/a/b/", "b", "/a"},
        {"c", "c", "."}, {"/", "/", "/"}, {"", "", "."}, {"/a", "a", "/"}, {"a/b", "b", "a"},
        {"a//", "a", "."}, {"//a//b//", "b", "//a"}, {"///", "/", "/"}, {"./x", "x", "."},
        {"../x/y", "y", "../x"}};
    // clang-format on
    for (const auto& [path, name, parent] : cases) {
        EXPECT_EQ(FileUtils::getFileName(path) + " " + FileUtils::getParentDirectory(path),
                  std::string(name) + " " + parent)
            << '"' << path << '"';
    }
    EXPECT_EQ(FileUtils::FileSeparator(), "/");
}

TEST(FileUtilsTest, AbsolutePathIsLexicalAndExistenceIsChecked) {
    const std::string cwd = std::filesystem::current_path().string();
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {{"/a/./b/../c/", "/a/c"}, {"/../x", "/x"},
        {"/", "/"}, {"//a//b", "/a/b"}, {"/a/b/../..", "/"}, {"", cwd}, {".", cwd},
        {"x/y/..", cwd == "/" ? "/x" : cwd + "/x"}, {"..", FileUtils::getParentDirectory(cwd)}};
    // clang-format on
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(FileUtils::getAbsolutePath(path), expected) << '"' << path << '"';
    }
    char pattern[] = "/tmp/korcoreutils-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/file.txt") << "x";
    ASSERT_EQ(::symlink("/usr/lib", (dir + "/link").c_str()), 0);
    EXPECT_TRUE(FileUtils::fileExists(dir + "/file.txt") && FileUtils::fileExists(dir) &&
                !FileUtils::fileExists(dir + "/missing") && !FileUtils::fileExists(""));
    // The kernel would take "link/.." to /usr; the lexical rule stays in the directory.
    EXPECT_EQ(FileUtils::getAbsolutePath(dir + "/link/.."), dir);
    std::filesystem::remove_all(dir);
}

TEST(FileUtilsTest, ResourcesDirectory) {
    // Beside the program's directory, which "/.." leaves.
    const std::string expected =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string() +
        "/resources";

    const char* old = std::getenv("ZAM_RESOURCES_DIR");
    const std::string saved = old != nullptr ? old : "";
    Strings got;
    for (const char* value : {"/opt/zam/res", "", static_cast<const char*>(nullptr)}) {
        value != nullptr ? ::setenv("ZAM_RESOURCES_DIR", value, 1)
                         : ::unsetenv("ZAM_RESOURCES_DIR");
        got.push_back(FileUtils::getResourcesDirectory());
    }
    if (old != nullptr) {
        ::setenv("ZAM_RESOURCES_DIR", saved.c_str(), 1);
    }
    EXPECT_EQ(got, (Strings{"/opt/zam/res", expected, expected}));
}

TEST(ThreadUtilsTest, KernelThreadIds) {
    const std::uint64_t mine = ThreadUtils::getCurrentThreadId();
    // Tests run on the main thread, whose kernel id is the process id.
    EXPECT_EQ(mine, static_cast<std::uint64_t>(::getpid()));

    // This thread is alive while the other reads its id, so the kernel cannot hand it this id.
    std::uint64_t other = mine;
    std::thread([&other] { other = ThreadUtils::getCurrentThreadId(); }).join();
    EXPECT_NE(other, mine);

    // The id is remembered per thread, but a forked child's thread has a new one: the child
    // reports its own process id, not the parent's remembered id.
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const std::uint64_t id = ThreadUtils::getCurrentThreadId();
        _exit(id == static_cast<std::uint64_t>(::getpid()) && id != mine ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
