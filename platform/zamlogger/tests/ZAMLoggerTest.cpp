#include "ZAMLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the library writes with write(2) directly is read back through GoogleTest's capture of
// file descriptor 2.
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Every field of a record on one line, so that a record is checked in one comparison.
std::string show(const ZAMLogRecord& r) {
    return r.logger + "|" + std::to_string(r.level) + "|" + r.file + ":" + std::to_string(r.line) +
           "|" + r.function + "|" + r.message;
}

// Installs a sink that keeps every record, and puts the default threshold and sink back afterwards
// since all tests share one process-wide registry.
class ZAMLoggerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedDefault_ = ZAMLog_getLevel("zamlogger-test.default-probe");
        ZAMLog_setLevel(nullptr, ZAMLOG_LEVEL_WARNING);
        ZAMLog_setSink([this](const ZAMLogRecord& record) {
            std::lock_guard<std::mutex> lock(mutex_);
            records_.push_back(record);
        });
    }
    void TearDown() override {
        ZAMLog_setSink(nullptr);
        ZAMLog_setLevel(nullptr, savedDefault_);
    }
    std::vector<ZAMLogRecord> records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }

    int savedDefault_ = ZAMLOG_LEVEL_WARNING;

  private:
    std::mutex mutex_;
    std::vector<ZAMLogRecord> records_;
};

TEST_F(ZAMLoggerTest, SameNameGivesSameHandleAndIsListedSorted) {
    ZAMLogger* b = ZAMLogger_getLogger("zamlogger-test.names.b");
    ZAMLogger* a = ZAMLogger_getLogger("zamlogger-test.names.a");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, ZAMLogger_getLogger("zamlogger-test.names.a"));
    EXPECT_EQ(ZAMLogger_getLogger(nullptr), ZAMLogger_getLogger(""));

    const auto names = ZAMLog_getLoggerNames();
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    const auto posA = std::find(names.begin(), names.end(), "zamlogger-test.names.a");
    ASSERT_NE(posA, names.end());
    ASSERT_NE(posA + 1, names.end());
    EXPECT_EQ(*(posA + 1), "zamlogger-test.names.b");
    EXPECT_EQ(std::count(names.begin(), names.end(), "zamlogger-test.names.a"), 1);
}

TEST_F(ZAMLoggerTest, ThresholdFiltersAndRecordCarriesEveryFieldNullsAsEmpty) {
    ZAMLogger* logger = ZAMLogger_getLogger("zamlogger-test.filter");
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.filter"), ZAMLOG_LEVEL_WARNING);
    for (int level = 0; level <= ZAMLOG_LEVEL_TRACE; ++level) {
        ZAMLog(logger, level, "Filter.cpp", 100 + level, "fn", "message " + std::to_string(level));
    }
    // Null arguments are taken as empty, and a null logger follows the default threshold.
    ZAMLog(nullptr, ZAMLOG_LEVEL_ERROR, nullptr, 7, nullptr, "from nowhere");
    ZAMLog(nullptr, ZAMLOG_LEVEL_INFO, nullptr, 8, nullptr, "filtered by the default");
    EXPECT_FALSE(ZAMLog_isDebugEnabled(nullptr));
    std::vector<std::string> got;
    for (const ZAMLogRecord& record : records()) {
        got.push_back(show(record));
    }
    EXPECT_EQ(got, (std::vector<std::string>{"zamlogger-test.filter|0|Filter.cpp:100|fn|message 0",
                                             "zamlogger-test.filter|1|Filter.cpp:101|fn|message 1",
                                             "zamlogger-test.filter|2|Filter.cpp:102|fn|message 2",
                                             "zamlogger-test.filter|3|Filter.cpp:103|fn|message 3",
                                             "|2|:7||from nowhere"}));
}

TEST_F(ZAMLoggerTest, SetLevelForOneLoggerAndForAll) {
    ZAMLogger* one = ZAMLogger_getLogger("zamlogger-test.levels.one");
    ZAMLogger* other = ZAMLogger_getLogger("zamlogger-test.levels.other");

    ZAMLog_setLevel("zamlogger-test.levels.one", ZAMLOG_LEVEL_DEBUG);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.levels.one"), ZAMLOG_LEVEL_DEBUG);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.levels.other"), ZAMLOG_LEVEL_WARNING);
    EXPECT_TRUE(ZAMLog_isDebugEnabled(one));
    EXPECT_FALSE(ZAMLog_isTraceEnabled(one));
    EXPECT_FALSE(ZAMLog_isDebugEnabled(other));
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

    const auto got = records();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, "one debug");
    EXPECT_EQ(got[1].message, "one error");
}

TEST_F(ZAMLoggerTest, LevelNamesAndParsingAcceptNumbersAndNamesOnly) {
    const struct {
        const char* text;
        int level;
    } good[] = {{"0", 0},    {"6", 6},        {"error", 2}, {"WARNING", 3},
                {"Info", 4}, {" debug\t", 5}, {"tRaCe", 6}, {"2", 2}};
    for (const auto& c : good) {
        int level = -1;
        EXPECT_TRUE(ZAMLog_parseLevel(c.text, level)) << c.text;
        EXPECT_EQ(level, c.level) << c.text;
    }
    for (const char* bad : {"", " ", "7", "-1", "+3", "3.0", "warn", "debugging", "0x3", "3 4"}) {
        int level = 42;
        EXPECT_FALSE(ZAMLog_parseLevel(bad, level)) << '"' << bad << '"';
        EXPECT_EQ(level, 42) << '"' << bad << '"';
    }
    const std::pair<int, const char*> names[] = {{ZAMLOG_LEVEL_ERROR, "ERROR"},
                                                 {ZAMLOG_LEVEL_WARNING, "WARNING"},
                                                 {ZAMLOG_LEVEL_INFO, "INFO"},
                                                 {ZAMLOG_LEVEL_DEBUG, "DEBUG"},
                                                 {ZAMLOG_LEVEL_TRACE, "TRACE"},
                                                 {0, "0"},
                                                 {1, "1"},
                                                 {-4, "-4"},
                                                 {7, "7"}};
    for (const auto& [level, name] : names) {
        EXPECT_EQ(ZAMLog_levelName(level), name);
    }
}

TEST_F(ZAMLoggerTest, ConfigureSetsDefaultAndPerLoggerLevelsInAnyOrder) {
    ZAMLogger_getLogger("zamlogger-test.config.existing");
    ZAMLog_setLevel("zamlogger-test.config.pinned", ZAMLOG_LEVEL_TRACE);

    CaptureStderr();
    ZAMLog_configure(
        " zamlogger-test.config.named = debug ,INFO,, zamlogger-test.config.later=2 ,");
    EXPECT_EQ(GetCapturedStderr(), "");

    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.existing"), ZAMLOG_LEVEL_INFO);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.fresh"), ZAMLOG_LEVEL_INFO);
    // The bare item drops earlier per-logger settings but not those in the same text.
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.pinned"), ZAMLOG_LEVEL_INFO);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.named"), ZAMLOG_LEVEL_DEBUG);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.later"), ZAMLOG_LEVEL_ERROR);

    ZAMLog_configure("5,trace");
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.config.existing"), ZAMLOG_LEVEL_TRACE);
}

TEST_F(ZAMLoggerTest, ConfigureReportsEachBadItemOnceAndAppliesTheRest) {
    CaptureStderr();
    ZAMLog_configure("loud,zamlogger-test.bad.ok=info,=debug,zamlogger-test.bad.x=9,error,a=b=c");
    EXPECT_EQ(GetCapturedStderr(),
              "ZAMLOG_LEVEL: ignoring bad item \"loud\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"=debug\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"zamlogger-test.bad.x=9\"\n"
              "ZAMLOG_LEVEL: ignoring bad item \"a=b=c\"\n");
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.bad.ok"), ZAMLOG_LEVEL_INFO);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.bad.x"), ZAMLOG_LEVEL_ERROR);
    EXPECT_EQ(ZAMLog_getLevel("zamlogger-test.bad.other"), ZAMLOG_LEVEL_ERROR);
}

TEST_F(ZAMLoggerTest, DefaultThresholdIsWarning) {
    if (std::getenv("ZAMLOG_LEVEL") != nullptr) {
        GTEST_SKIP() << "ZAMLOG_LEVEL is set for this run";
    }
    // Each test restores what the fixture saved, so this is the registry's own start value.
    EXPECT_EQ(savedDefault_, ZAMLOG_LEVEL_WARNING);
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

    if (savedTz != nullptr) {
        ::setenv("TZ", savedTzText.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();

    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z "
        "WARNING \\[zamlogger-test\\.default-sink\\] Sink\\.cpp:42 run: first\\\\nsecond\n"
        "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z "
        "ERROR \\[zamlogger-test\\.default-sink\\] :44 : bare\n");
    ASSERT_EQ(1u, records().size());
    EXPECT_EQ("to the capturing sink", records()[0].message);
    ASSERT_TRUE(std::regex_match(text, expected)) << text;
    std::tm parts{};
    ASSERT_NE(nullptr, ::strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &parts)) << text;
    const std::time_t stamped = ::timegm(&parts);
    EXPECT_LE(before, stamped);
    EXPECT_LE(stamped, after);
}

TEST_F(ZAMLoggerTest, ConcurrentLoggingAndSinkSwapsLoseNoRecord) {
    constexpr int kThreads = 6;
    constexpr int kRecordsPerThread = 5000;
    std::atomic<int> errorsA{0};
    std::atomic<int> errorsB{0};
    auto sinkA = [&](const ZAMLogRecord& record) {
        errorsA.fetch_add(record.level == ZAMLOG_LEVEL_ERROR, std::memory_order_relaxed);
    };
    auto sinkB = [&](const ZAMLogRecord& record) {
        errorsB.fetch_add(record.level == ZAMLOG_LEVEL_ERROR, std::memory_order_relaxed);
    };
    ZAMLog_setSink(sinkA);

    std::atomic<int> running{kThreads};
    std::vector<std::thread> loggers;
    for (int t = 0; t < kThreads; ++t) {
        loggers.emplace_back([t, &running] {
            const std::string name = "zamlogger-test.concurrent." + std::to_string(t % 3);
            ZAMLogger* logger = ZAMLogger_getLogger(name.c_str());
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
    int swaps = 0;
    do {
        ZAMLog_setSink(swaps % 2 == 0 ? std::function<void(const ZAMLogRecord&)>(sinkB)
                                      : std::function<void(const ZAMLogRecord&)>(sinkA));
        ZAMLog_setLevel(nullptr, swaps % 2 == 0 ? ZAMLOG_LEVEL_DEBUG : ZAMLOG_LEVEL_WARNING);
        ++swaps;
    } while (running.load() > 0);
    for (auto& thread : loggers) {
        thread.join();
    }
    ZAMLog_setSink(nullptr);

    EXPECT_EQ(errorsA.load() + errorsB.load(), kThreads * kRecordsPerThread);
}

TEST_F(ZAMLoggerTest, SinkThatLogsDoesNotDeadlock) {
    ZAMLogger* outer = ZAMLogger_getLogger("zamlogger-test.reentrant.outer");
    ZAMLogger* inner = ZAMLogger_getLogger("zamlogger-test.reentrant.inner");
    std::vector<std::string> seen;  // only touched on the logging thread
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
    const auto status = done.wait_for(std::chrono::seconds(20));
    if (status != std::future_status::ready) {
        // The worker is stuck on a library lock and can never be joined.
        std::fprintf(stderr, "sink that logs deadlocked\n");
        std::abort();
    }
    done.get();
    EXPECT_EQ(seen,
              (std::vector<std::string>{"zamlogger-test.reentrant.outer: work",
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
