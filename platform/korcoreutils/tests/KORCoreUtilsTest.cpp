#include "KORCoreUtils.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace KORCoreUtils;
using Strings = std::vector<std::string>;

std::string currentDirectory() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

TEST(SplitTest, KeepsEveryPieceBetweenWholeDelimiters) {
    const struct {
        std::string text;
        std::string delimiter;
        Strings pieces;
    } cases[] = {
        {"a::b", "::", {"a", "b"}},
        {"::", "::", {"", ""}},
        {"a,,b", ",", {"a", "", "b"}},
        {"/a//b/", "/", {"", "a", "", "b", ""}},
        {"a:b::c", "::", {"a:b", "c"}},
        {":::", "::", {"", ":"}},
        {"a-->b-->", "-->", {"a", "b", ""}},
        {"abc", ",", {"abc"}},
        {"abc", "", {"abc"}},
        {"", ",", {}},
        {"", "", {}},
    };
    for (const auto& c : cases) {
        // The pieces are appended behind what the vector already holds.
        Strings out{"kept"};
        split(c.text, out, c.delimiter);
        Strings expected{"kept"};
        expected.insert(expected.end(), c.pieces.begin(), c.pieces.end());
        EXPECT_EQ(out, expected) << '"' << c.text << "\" by \"" << c.delimiter << '"';
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
    for (const auto& c : good) {
        EXPECT_EQ(parse(c.first), c.second) << '"' << c.first << '"';
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

TEST(NumberParseTest, Int) {
    Strings invalid = kNotIntegers;
    invalid.push_back("- 1");
    checkParser<int>([](const std::string& t) { return toInt(t); }, "an int",
                     {{"0", 0},
                      {"-0", 0},
                      {"42", 42},
                      {"+42", 42},
                      {" \t-17\n", -17},
                      {"007", 7},
                      {"2147483647", INT_MAX},
                      {"-2147483648", INT_MIN}},
                     invalid, {"2147483648", "-2147483649", "99999999999999999999"});
}

TEST(NumberParseTest, UnsignedIntRejectsNegatives) {
    Strings invalid = kNotIntegers;
    invalid.insert(invalid.end(), {"-1", "-0", "-4294967297"});
    checkParser<unsigned int>([](const std::string& t) { return toUnsignedInt(t); },
                              "an unsigned int",
                              {{"0", 0u}, {"+7", 7u}, {" 4294967295 ", UINT_MAX}}, invalid,
                              {"4294967296", "18446744073709551615"});
}

TEST(NumberParseTest, LongAndLongLongCoverTheFullRange) {
    checkParser<long>([](const std::string& t) { return toLong(t); }, "a long",
                      {{"9223372036854775807", LONG_MAX}, {"-9223372036854775808", LONG_MIN}},
                      kNotIntegers, {"9223372036854775808", "-9223372036854775809"});
    checkParser<long long>(
        [](const std::string& t) { return toLongLong(t); }, "a long long",
        {{"9223372036854775807", LLONG_MAX}, {"-9223372036854775808", LLONG_MIN}, {"-5", -5}},
        kNotIntegers, {"9223372036854775808", "-9223372036854775809"});
}

TEST(NumberParseTest, Float) {
    checkParser<float>(
        [](const std::string& t) { return toFloat(t); }, "a float",
        {{"1.5", 1.5f},
         {" -2.5e3\n", -2500.0f},
         {"+.5", 0.5f},
         {"5.", 5.0f},
         {"1E-2", 0.01f},
         {"1e-45", std::numeric_limits<float>::denorm_min()},
         {"3.4028235e38", FLT_MAX},
         {"inf", INFINITY},
         {"-INF", -INFINITY},
         {"infinity", INFINITY}},
        {"", " ", "1.5f", "0x1p3", "1,5", "e5", "1e", "+", "-", "- 1", "1.5.2", "nanx", "+-1"},
        {"3.5e38", "1e39", "-1e39", "1e-50"});
    EXPECT_TRUE(std::isnan(toFloat("nan")));
    EXPECT_TRUE(std::isnan(toFloat(" NaN ")));
}

TEST(NumberParseTest, UnsignedIntWithDefaultNeverThrows) {
    const struct {
        const char* text;
        unsigned int expected;
    } cases[] = {{"12", 12u},         {" 7\t", 7u}, {"4294967295", UINT_MAX},
                 {"4294967296", 99u}, {"-1", 99u},  {"x", 99u},
                 {"", 99u},           {"1.0", 99u}, {"0", 0u}};
    for (const auto& c : cases) {
        EXPECT_EQ(toUnsignedInt(c.text, 99u), c.expected) << '"' << c.text << '"';
    }
}

TEST(NumberParseTest, Bool) {
    for (const char* text : {"true", "TRUE", "True", "1", " yes\t", "YeS", "\ntrue "}) {
        EXPECT_TRUE(toBool(text)) << '"' << text << '"';
    }
    for (const char* text : {"false", "FALSE", "0", "no", "No", " fAlSe "}) {
        EXPECT_FALSE(toBool(text)) << '"' << text << '"';
    }
    for (const std::string text : {"", " ", "t", "y", "2", "truee", "on", "nope", "1 0", "-1"}) {
        EXPECT_EQ(thrown<std::invalid_argument>(toBool, text), '"' + text + "\" is not a bool");
    }
}

TEST(ToStringTest, IntegersBoolsAndShortestFloats) {
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Strings got = {toString(0),        toString(INT_MIN),  toString(INT_MAX),
                         toString(UINT_MAX), toString(LONG_MIN), toString(LLONG_MAX),
                         toString(-12LL),    toString(true),     toString(false),
                         toString(0.1f),     toString(1.0f),     toString(-2.5f),
                         toString(1e30f),    toString(FLT_MAX),  toString(tiny),
                         toString(nan),      toString(INFINITY), toString(-INFINITY)};
    EXPECT_EQ(got, (Strings{"0", "-2147483648", "2147483647", "4294967295", "-9223372036854775808",
                            "9223372036854775807", "-12", "true", "false", "0.1", "1", "-2.5",
                            "1e+30", "3.4028235e+38", "1e-45", "nan", "inf", "-inf"}));
}

// Shortest texts still read back bit for bit; the fuzzer does the same for every number it parses.
TEST(ToStringTest, FloatReadsBackBitForBit) {
    for (const float value : {0.1f, 1e-45f, FLT_MAX, -FLT_MAX, FLT_MIN, -0.0f, 0.0f, 1.0f / 3.0f,
                              16777217.0f, 123456.789f, 3.0e-39f, INFINITY, -INFINITY}) {
        const std::string text = toString(value);
        const float back = toFloat(text);
        std::uint32_t before = 0;
        std::uint32_t after = 0;
        std::memcpy(&before, &value, sizeof value);
        std::memcpy(&after, &back, sizeof back);
        EXPECT_EQ(before, after) << text;
    }
}

TEST(WideStringTest, CharacterForCharacter) {
    EXPECT_EQ(toWideString("A\xE9\xFF"), std::wstring(L"A\u00E9\u00FF"));
    // Codes above eight bits keep their low byte: U+0141 becomes 'A', U+1F600 becomes NUL.
    EXPECT_EQ(toString(std::wstring(L"A\u00E9\u0141\U0001F600")), std::string("A\xE9"
                                                                              "A\0",
                                                                              4));
    EXPECT_EQ(toWideString(""), L"");

    std::string every;
    for (int c = 0; c < 256; ++c) {
        every += static_cast<char>(c);
    }
    const std::wstring wide = toWideString(every);
    ASSERT_EQ(wide.size(), 256u);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(static_cast<int>(wide[static_cast<std::size_t>(c)]), c);
    }
    EXPECT_EQ(toString(wide), every);
}

TEST(CaseInsensitiveTest, EqualsAndCompare) {
    EXPECT_TRUE(caseInsensitiveStringEquals("Hello World", "hELLO wORLD"));
    EXPECT_TRUE(caseInsensitiveStringEquals("", ""));
    EXPECT_FALSE(caseInsensitiveStringEquals("abc", "abcd"));
    EXPECT_FALSE(caseInsensitiveStringEquals("a", "b"));
    // Only ASCII letters fold: these are the Latin-1 codes of a-umlaut and A-umlaut.
    EXPECT_FALSE(caseInsensitiveStringEquals("\xC4", "\xE4"));
    EXPECT_TRUE(caseInsensitiveStringEquals(std::string("a\0b", 3), std::string("A\0B", 3)));
    EXPECT_FALSE(caseInsensitiveStringEquals(std::string("a\0b", 3), std::string("a\0c", 3)));

    EXPECT_EQ(caseInsensitiveStringCompare("abc", "ABC"), 0);
    EXPECT_LT(caseInsensitiveStringCompare("abc", "ABD"), 0);
    EXPECT_GT(caseInsensitiveStringCompare("ABD", "abc"), 0);
    EXPECT_LT(caseInsensitiveStringCompare("ab", "ABC"), 0);
    EXPECT_GT(caseInsensitiveStringCompare("ABC", "ab"), 0);
    EXPECT_LT(caseInsensitiveStringCompare("", "a"), 0);
    // Folding goes to lower case and bytes compare unsigned, as strcasecmp does in "C".
    EXPECT_GT(caseInsensitiveStringCompare("Z", "a"), 0);
    EXPECT_LT(caseInsensitiveStringCompare("_", "a"), 0);
    EXPECT_GT(caseInsensitiveStringCompare("a\xFF", "A\x01"), 0);
}

TEST(FileUtilsTest, FileNameAndParentDirectory) {
    const struct {
        const char* path;
        const char* name;
        const char* parent;
    } cases[] = {
        {"/a/b/c.xml", "c.xml", "/a/b"},
        {"/a/b/", "b", "/a"},
        {"c", "c", "."},
        {"/", "/", "/"},
        {"", "", "."},
        {"/a", "a", "/"},
        {"a/b", "b", "a"},
        {"a//", "a", "."},
        {"//a//b//", "b", "//a"},
        {"///", "/", "/"},
        {"./x", "x", "."},
        {"../x/y", "y", "../x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileUtils::getFileName(c.path), c.name) << '"' << c.path << '"';
        EXPECT_EQ(FileUtils::getParentDirectory(c.path), c.parent) << '"' << c.path << '"';
    }
    EXPECT_EQ(FileUtils::FileSeparator(), "/");
}

TEST(FileUtilsTest, AbsolutePathIsLexical) {
    const std::string cwd = currentDirectory();
    ASSERT_FALSE(cwd.empty());
    const std::string cwdParent = FileUtils::getParentDirectory(cwd);
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"/a/./b/../c/", "/a/c"},
        {"/../x", "/x"},
        {"/", "/"},
        {"//a//b", "/a/b"},
        {"/a/b/../..", "/"},
        {"", cwd},
        {".", cwd},
        {"x/y/..", cwd == "/" ? "/x" : cwd + "/x"},
        {"..", cwdParent},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileUtils::getAbsolutePath(c.path), c.expected) << '"' << c.path << '"';
    }
}

TEST(FileUtilsTest, ExistenceAndSymbolicLinks) {
    char pattern[] = "/tmp/korcoreutils-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string file = dir + "/file.txt";
    const std::string link = dir + "/link";
    std::ofstream(file) << "x";
    ASSERT_EQ(::symlink("/usr/lib", link.c_str()), 0);

    EXPECT_TRUE(FileUtils::fileExists(file));
    EXPECT_TRUE(FileUtils::fileExists(dir));
    EXPECT_FALSE(FileUtils::fileExists(dir + "/missing"));
    EXPECT_FALSE(FileUtils::fileExists(""));
    // The kernel would take "link/.." to /usr; the lexical rule stays in the directory.
    EXPECT_EQ(FileUtils::getAbsolutePath(link + "/.."), dir);

    ::unlink(link.c_str());
    ::unlink(file.c_str());
    ::rmdir(dir.c_str());
}

TEST(FileUtilsTest, ResourcesDirectory) {
    char exe[4096];
    const ssize_t length = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    std::string expected(exe, static_cast<std::size_t>(length));
    expected.erase(expected.rfind('/'));  // the program file
    expected.erase(expected.rfind('/'));  // its directory, which "/.." leaves
    expected += "/resources";

    const char* old = std::getenv("ZAM_RESOURCES_DIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("ZAM_RESOURCES_DIR", "/opt/zam/res", 1);
    const std::string set = FileUtils::getResourcesDirectory();
    ::setenv("ZAM_RESOURCES_DIR", "", 1);
    const std::string empty = FileUtils::getResourcesDirectory();
    ::unsetenv("ZAM_RESOURCES_DIR");
    const std::string unset = FileUtils::getResourcesDirectory();
    if (old != nullptr) {
        ::setenv("ZAM_RESOURCES_DIR", saved.c_str(), 1);
    }
    EXPECT_EQ(set, "/opt/zam/res");
    EXPECT_EQ(empty, expected);
    EXPECT_EQ(unset, expected);
}

TEST(ThreadUtilsTest, KernelThreadIds) {
    const std::uint64_t mine = ThreadUtils::getCurrentThreadId();
    EXPECT_EQ(mine, ThreadUtils::getCurrentThreadId());
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
        _exit(ThreadUtils::getCurrentThreadId() == static_cast<std::uint64_t>(::getpid()) &&
                      ThreadUtils::getCurrentThreadId() != mine
                  ? 0
                  : 1);
    }
    int status = -1;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
