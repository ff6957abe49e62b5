#include "ZAMLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <regex>
#include <thread>

namespace {

// What the library writes with write(2) directly is read back through GoogleTest's capture of
// file descriptor 2.
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Strings = std::vector<std::string>;
using Levels = std::vector<int>;

Levels levelsOf(std::initializer_list<const char*> names) {
    Levels levels(names.size());
    std::transform(names.begin(), names.end(), levels.begin(), ZAMLog_getLevel);
    return levels;
}

// Installs a sink that keeps every record, and puts the default threshold and sink back afterwards
// since all tests share one process-wide registry.
class ZAMLoggerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedDefault_ = ZAMLog_getLevel("zamlogger-test.default-probe");
        ZAMLog_setLevel(nullptr, ZAMLOG_LEVEL_WARNING);
        // Every field of a record, on one line. The tests that use it log from their own thread.
        ZAMLog_setSink([this](const ZAMLogRecord& r) {
            records_.push_back(r.logger + "|" + std::to_string(r.level) + "|" + r.file + ":" +
                               std::to_string(r.line) + "|" + r.function + "|" + r.message);
        });
    }
    void TearDown() override {
        ZAMLog_setSink(nullptr);
        ZAMLog_setLevel(nullptr, savedDefault_);
    }

    int savedDefault_ = ZAMLOG_LEVEL_WARNING;
    Strings records_;
};

TEST_F(ZAMLoggerTest, SameNameGivesSameHandleAndIsListedSorted) {
    ZAMLogger* b = ZAMLogger_getLogger("zamlogger-test.names.b");
    ZAMLogger* a = ZAMLogger_getLogger("zamlogger-test.names.a");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, ZAMLogger_getLogger("zamlogger-test.names.a"));
    EXPECT_EQ(ZAMLogger_getLogger(nullptr), ZAMLogger_getLogger(""));

    const auto names = ZAMLog_getLoggerNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    // Each name once: "a" twice would be followed by itself.
    const auto posA = std::find(names.begin(), names.end(), "zamlogger-test.names.a");
    EXPECT_EQ(Strings(posA, std::min(posA + 2, names.end())),
              (Strings{"zamlogger-test.names.a", "zamlogger-test.names.b"}));
}

TEST_F(ZAMLoggerTest, ThresholdFiltersAndRecordCarriesEveryFieldNullsAsEmpty) {
    // Each test restores what the fixture saved, so this is the registry's own start value.
    if (std::getenv("ZAMLOG_LEVEL") == nullptr) {
        EXPECT_EQ(savedDefault_, ZAMLOG_LEVEL_WARNING) << "the default threshold";
    }
    ZAMLogger* logger = ZAMLogger_getLogger("zamlogger-test.filter");
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.filter"), ZAMLOG_LEVEL_WARNING);
    for (int level = 0; level <= ZAMLOG_LEVEL_TRACE; ++level) {
        ZAMLog(logger, level, "Filter.cpp", 100 + level, "fn", "message " + std::to_string(level));
    }
    // Null arguments are taken as empty, and a null logger follows the default threshold.
    ZAMLog(nullptr, ZAMLOG_LEVEL_ERROR, nullptr, 7, nullptr, "from nowhere");
    ZAMLog(nullptr, ZAMLOG_LEVEL_INFO, nullptr, 8, nullptr, "filtered by the default");
    EXPECT_FALSE(ZAMLog_isDebugEnabled(nullptr));
    EXPECT_EQ(records_, (Strings{"zamlogger-test.filter|0|Filter.cpp:100|fn|message 0",
                                 "zamlogger-test.filter|1|Filter.cpp:101|fn|message 1",
                                 "zamlogger-test.filter|2|Filter.cpp:102|fn|message 2",
                                 "zamlogger-test.filter|3|Filter.cpp:103|fn|message 3",
                                 "|2|:7||from nowhere"}));
}

TEST_F(ZAMLoggerTest, SetLevelForOneLoggerAndForAll) {
    ZAMLogger* one = ZAMLogger_getLogger("zamlogger-test.levels.one");
    ZAMLogger* other = ZAMLogger_getLogger("zamlogger-test.levels.other");
    ZAMLog_setLevel("zamlogger-test.levels.one", ZAMLOG_LEVEL_DEBUG);
    EXPECT_EQ(levelsOf({"zamlogger-test.levels.one", "zamlogger-test.levels.other"}),
              (Levels{ZAMLOG_LEVEL_DEBUG, ZAMLOG_LEVEL_WARNING}));
    EXPECT_TRUE(ZAMLog_isDebugEnabled(one) && !ZAMLog_isTraceEnabled(one) &&
                !ZAMLog_isDebugEnabled(other));
    ZAMLog(one, ZAMLOG_LEVEL_DEBUG, "f", 1, "g", "one debug");
    ZAMLog(other, ZAMLOG_LEVEL_DEBUG, "f", 2, "g", "other debug");

    // A setting for all loggers also reaches the ones created afterwards and overrides the
    // per-logger one made before.
    ZAMLog_setLevel(nullptr, ZAMLOG_LEVEL_TRACE);
    EXPECT_TRUE(ZAMLog_isTraceEnabled(other));
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.levels.later"), ZAMLOG_LEVEL_TRACE);
    ZAMLog_setLevel(nullptr, ZAMLOG_LEVEL_ERROR);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.levels.one"), ZAMLOG_LEVEL_ERROR);
    EXPECT_FALSE(ZAMLog_isDebugEnabled(one));
    ZAMLog(one, ZAMLOG_LEVEL_WARNING, "f", 3, "g", "one warning");
    ZAMLog(one, ZAMLOG_LEVEL_ERROR, "f", 4, "g", "one error");
    EXPECT_EQ(records_, (Strings{"zamlogger-test.levels.one|5|f:1|g|one debug",
                                 "zamlogger-test.levels.one|2|f:4|g|one error"}));
}

// A parsed level, or 42 (left as it was) where the text is refused.
TEST_F(ZAMLoggerTest, LevelNamesAndParsingAcceptNumbersAndNamesOnly) {
    // clang-format off
    const std::pair<const char*, int> cases[] = {{"0", 0}, {"6", 6}, {"error", 2}, {"WARNING", 3},
        {"Info", 4}, {" debug\t", 5}, {"tRaCe", 6}, {"2", 2}, {"", 42}, {" ", 42}, {"7", 42},
        {"-1", 42}, {"+3", 42}, {"3.0", 42}, {"warn", 42}, {"debugging", 42}, {"0x3", 42},
        {"3 4", 42}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        int level = 42;
        const bool parsed = ZAMLog_parseLevel(text, level);
        EXPECT_EQ(std::make_pair(expected != 42, expected), std::make_pair(parsed, level))
            << '"' << text << '"';
    }
    Strings names;
    for (const int level : {2, 3, 4, 5, 6, 0, 1, -4, 7}) {  // the named levels are 2 to 6
        names.push_back(ZAMLog_levelName(level));
    }
    EXPECT_EQ(names, (Strings{"ERROR", "WARNING", "INFO", "DEBUG", "TRACE", "0", "1", "-4", "7"}));
}

// Only bad items write to stderr, each once, and the rest of their text still applies.
TEST_F(ZAMLoggerTest, ConfigureSetsLevelsInAnyOrderAndReportsEachBadItemOnce) {
    ZAMLogger_getLogger("zamlogger-test.config.existing");
    ZAMLog_setLevel("zamlogger-test.config.pinned", ZAMLOG_LEVEL_TRACE);
    CaptureStderr();
    ZAMLog_configure(
        " zamlogger-test.config.named = debug ,INFO,, zamlogger-test.config.later=2 ,");
    // The bare item drops earlier per-logger settings ("pinned") but not those in the same text.
    EXPECT_EQ(levelsOf({"zamlogger-test.config.existing", "zamlogger-test.config.fresh",
                        "zamlogger-test.config.pinned", "zamlogger-test.config.named",
                        "zamlogger-test.config.later"}),
              (Levels{ZAMLOG_LEVEL_INFO, ZAMLOG_LEVEL_INFO, ZAMLOG_LEVEL_INFO, ZAMLOG_LEVEL_DEBUG,
                      ZAMLOG_LEVEL_ERROR}));
    ZAMLog_configure("5,trace");
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.existing"), ZAMLOG_LEVEL_TRACE);
    ZAMLog_configure("loud,zamlogger-test.bad.ok=info,=debug,zamlogger-test.bad.x=9,error,a=b=c");
    EXPECT_EQ(GetCapturedStderr(),
              "ZAMLOG_LEVEL: ignoring bad item \"loud\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"=debug\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"zamlogger-test.bad.x=9\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"a=b=c\"\n");
    EXPECT_EQ(
        levelsOf({"zamlogger-test.bad.ok", "zamlogger-test.bad.x", "zamlogger-test.bad.other"}),
        (Levels{ZAMLOG_LEVEL_INFO, ZAMLOG_LEVEL_ERROR, ZAMLOG_LEVEL_ERROR}));
}

// An empty sink puts the default back, which writes one line per record to stderr.
TEST_F(ZAMLoggerTest, EmptySinkRestoresTheDefaultWhichWritesOneUtcLinePerRecord) {
    ZAMLogger* logger = ZAMLogger_getLogger("zamlogger-test.default-sink");
    ZAMLog(logger, ZAMLOG_LEVEL_ERROR, "a.cpp", 1, "f", "to the capturing sink");
    ZAMLog_setSink(std::function<void(const ZAMLogRecord&)>());

    // A local-time stamp would be five hours off here; the sink must not follow TZ.
    const char* savedTz = std::getenv("TZ");
    const std::string savedTzText = savedTz != nullptr ? savedTz : "";
    ::setenv("TZ", "XYZ+05", 1);
    ::tzset();
    const std::time_t before = std::time(nullptr);
    CaptureStderr();
    ZAMLog(logger, ZAMLOG_LEVEL_WARNING, "Sink.cpp", 42, "run", "first\nsecond");
    ZAMLog(logger, ZAMLOG_LEVEL_DEBUG, "Sink.cpp", 43, "run", "filtered");
    ZAMLog(logger, ZAMLOG_LEVEL_ERROR, nullptr, 44, nullptr, "bare");
    const std::string text = GetCapturedStderr();
    const std::time_t after = std::time(nullptr);
    savedTz != nullptr ? ::setenv("TZ", savedTzText.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();

    EXPECT_EQ(records_, Strings{"zamlogger-test.default-sink|2|a.cpp:1|f|to the capturing sink"});
    EXPECT_EQ(
        "<stamp>WARNING [zamlogger-test.default-sink] Sink.cpp:42 run: first\\nsecond\n"
        "<stamp>ERROR [zamlogger-test.default-sink] :44 : bare\n",
        std::regex_replace(text, std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z "),
                           "<stamp>"));
    std::tm parts{};
    ASSERT_NE(nullptr, ::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &parts)) << text;
    const std::time_t stamped = ::timegm(&parts);
    EXPECT_TRUE(before <= stamped && stamped <= after) << text;
}

TEST_F(ZAMLoggerTest, ConcurrentLoggingAndSinkSwapsLoseNoRecord) {
    constexpr int kThreads = 6;
    constexpr int kRecordsPerThread = 5000;
    // Each swap installs a fresh copy of the sink; a record lost in a swap is missing from the
    // count.
    std::atomic<int> errors{0};
    const std::function<void(const ZAMLogRecord&)> sink = [&errors](const ZAMLogRecord& record) {
        errors.fetch_add(record.level == ZAMLOG_LEVEL_ERROR, std::memory_order_relaxed);
    };
    ZAMLog_setSink(sink);

    std::atomic<int> running{kThreads};
    std::vector<std::thread> loggers;
    for (int t = 0; t < kThreads; ++t) {
        loggers.emplace_back([t, &running] {
            ZAMLogger* logger =
                ZAMLogger_getLogger(("zamlogger-test.concurrent." + std::to_string(t % 3)).c_str());
            for (int i = 0; i < kRecordsPerThread; ++i) {
                // Errors pass whatever threshold the main thread sets; debug records come and go
                // with it and only add load on the sinks.
                ZAMLog(logger, ZAMLOG_LEVEL_ERROR, "c.cpp", i, "worker", "error");
                if (ZAMLog_isDebugEnabled(logger)) {
                    ZAMLog(logger, ZAMLOG_LEVEL_DEBUG, "c.cpp", i, "worker", "debug");
                }
            }
            running.fetch_sub(1);
        });
    }
    for (int swaps = 1; running.load() > 0; ++swaps) {
        ZAMLog_setSink(sink);
        ZAMLog_setLevel(nullptr, swaps % 2 != 0 ? ZAMLOG_LEVEL_DEBUG : ZAMLOG_LEVEL_WARNING);
    }
    for (auto& thread : loggers) {
        thread.join();
    }
    EXPECT_EQ(errors.load(), kThreads * kRecordsPerThread);
}

TEST_F(ZAMLoggerTest, SinkThatLogsDoesNotDeadlock) {
    ZAMLogger* outer = ZAMLogger_getLogger("zamlogger-test.reentrant.outer");
    ZAMLogger* inner = ZAMLogger_getLogger("zamlogger-test.reentrant.inner");
    Strings seen;  // only touched on the logging thread
    ZAMLog_setSink([&](const ZAMLogRecord& record) {
        seen.push_back(record.logger + ": " + record.message);
        if (record.logger == "zamlogger-test.reentrant.outer") {
            ZAMLog(inner, ZAMLOG_LEVEL_ERROR, "r.cpp", 1, "sink", "about " + record.message);
            // Dropping the running sink from inside itself must neither deadlock nor free the
            // closure that is still executing.
            ZAMLog_setSink(nullptr);
            seen.push_back("replaced");
        }
    });

    auto done = std::async(std::launch::async,
                           [&] { ZAMLog(outer, ZAMLOG_LEVEL_ERROR, "r.cpp", 2, "test", "work"); });
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // The worker is stuck on a library lock and can never be joined.
        std::fprintf(stderr, "sink that logs deadlocked\n");
        std::abort();
    }
    done.get();
    EXPECT_EQ(seen, (Strings{"zamlogger-test.reentrant.outer: work",
                             "zamlogger-test.reentrant.inner: about work", "replaced"}));
}

// The environment is read when the registry is born, which in this binary has long happened; a
// death test in the "threadsafe" style runs the statement in a freshly started copy of the binary.
TEST(ZAMLoggerEnvironmentTest, ZamlogLevelIsReadOnceOnFirstUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("ZAMLOG_LEVEL", "debug, bogus ,zamlogger-test.env=trace", 1);
            bool ok = ZAMLog_getLevel("zamlogger-test.env.other") == ZAMLOG_LEVEL_DEBUG &&
                      ZAMLog_getLevel("zamlogger-test.env") == ZAMLOG_LEVEL_TRACE;
            ::setenv("ZAMLOG_LEVEL", "error", 1);
            ok = ok && ZAMLog_getLevel("zamlogger-test.env.later") == ZAMLOG_LEVEL_DEBUG;
            std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "ZAMLOG_LEVEL: ignoring bad item \"bogus\"");
}

}  // namespace
