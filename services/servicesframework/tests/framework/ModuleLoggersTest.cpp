#include "common/detail/ModuleLoggers.h"

#include <gmock/gmock.h>

#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/LogCapture.h"
#include "support/LogLines.h"

namespace {

TEST(ModuleLoggersTest, TheFourModuleLoggersExistOnceTheLibraryIsLoaded) {
    // No framework code has run in this test: the loggers were created by loading the library.
    EXPECT_THAT(ZAMLog_getLoggerNames(),
                ::testing::IsSupersetOf({"TaskDispatcher", "library-loader", "services-dispatcher",
                                         "unified-factory"}));
}

// The test's own logger, with its records captured.
class ModuleLoggersSinkTest : public ::testing::Test {
  protected:
    sftest::LogCapture log_{{"module-loggers-test"}, ZAMLOG_LEVEL_WARNING};
    ZAMLogger* logger = ZAMLogger_getLogger("module-loggers-test");
};

TEST_F(ModuleLoggersSinkTest, LogFormatsTheWholeMessageAndPassesPlaceAndFunction) {
    const char* path = "services/servicesframework/src/x/Y";
    const int line = __LINE__ + 1;
    SF_LOG(logger, ZAMLOG_LEVEL_ERROR, path, "doWork", "a=" << 1 << " b=" << 2.5);
    const std::vector<ZAMLogRecord> records = log_.records();
    EXPECT_EQ(std::vector<std::string>{"E doWork: a=1 b=2.5"},
              sftest::logLines(records, "services/servicesframework/src/x/Y"));
    EXPECT_EQ("module-loggers-test", records.at(0).logger);
    EXPECT_EQ(line, records.at(0).line);
}

TEST_F(ModuleLoggersSinkTest, DebugAndTraceTextsAreOnlyComposedWhenEnabled) {
    int composed = 0;
    auto compose = [&composed] {
        ++composed;
        return std::string("expensive");
    };
    log_.setLevel(ZAMLOG_LEVEL_INFO);
    SF_LOG_DEBUG(logger, "path", "f", compose());
    SF_LOG_TRACE(logger, "path", "f", compose());
    EXPECT_EQ(0, composed);
    EXPECT_TRUE(log_.records().empty());

    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    SF_LOG_DEBUG(logger, "path", "f", compose());
    SF_LOG_TRACE(logger, "path", "f", compose());
    EXPECT_EQ(1, composed);

    log_.setLevel(ZAMLOG_LEVEL_TRACE);
    SF_LOG_TRACE(logger, "path", "f", compose());
    EXPECT_EQ(2, composed);
    EXPECT_EQ((std::vector<std::string>{"D f: expensive", "T f: expensive"}),
              sftest::logLines(log_.records()));
}

// Messages are put together without a string stream where the pieces allow it; the text must be
// what a stream would have made of the same pieces, in the same order.
TEST(LogTextTest, MessagesReadAsAStringStreamWouldWriteThem) {
    using ZAMUnified::detail::LogText;
    const auto both = [](auto&& write) {
        LogText text;
        std::ostringstream stream;
        write(text);
        write(stream);
        return std::make_pair(text.str(), stream.str());
    };
    const std::string name = "task";
    const std::vector<std::pair<std::string, std::string>> cases = {
        both([&](auto& out) { out << "Task '" << name << "' ran [" << 2001L << "] ms"; }),
        both([](auto& out) { out << -7 << ' ' << 0u << ' ' << 18446744073709551615ull; }),
        both([](auto& out) { out << static_cast<short>(-3) << static_cast<long long>(-9e18); }),
        both([](auto& out) { out << "[0x" << std::hex << 48879u << "] " << -1 << std::dec << 17; }),
        both([](auto& out) { out << std::hex << static_cast<std::int8_t>(-1) << std::dec; }),
        both([](auto& out) { out << true << false << 'c' << static_cast<unsigned char>('u'); }),
        both([](auto& out) { out << 2.5 << ' ' << 1e-7 << ' ' << std::hex << 3.0f << 255; }),
        both([](auto& out) { out << std::showbase << std::hex << 255 << std::dec << 9; }),
        both([](auto& out) { out << std::string_view("view") << std::chrono::seconds(3).count(); }),
    };
    for (const auto& [ours, stream] : cases) {
        EXPECT_EQ(stream, ours);
    }
}

}  // namespace
