// The text layer as a host uses it, without the shell: lines run against a real plug-in loaded
// through a manifest, each member on the path run once, and results in their typed and JSON forms.
#include <ZAMUnified/TextInterpreter.h>

#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/TextJson.h>

#include "support/ForeignServiceFactory.h"
#include "support/LogCapture.h"
#include "support/PluginFolder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace ZAMUnified;
namespace fs = std::filesystem;

class TextInterpreterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path resources = plugins_.root() / "resources";
        ASSERT_TRUE(fs::create_directories(resources));
        // Built-in records then point into the scratch folder, where no library exists.
        setenv("ZAM_RESOURCES_DIR", resources.c_str(), 1);
        factory_->Init();
        factory_->getLibraryLoader()->LoadLibraryManifest(plugins_.add(
            "counting",
            "<library><name>TestCounting</name><path>TestCounting</path><services>"
            "<service name='ZAMUnified::CountingService' id='7300'/></services></library>",
            std::string(SF_TEST_PLUGIN_DIR) + "/libTestCounting.so", "TestCounting"));
    }
    void TearDown() override {
        text_.reset();
        factory_->Reset();
        unsetenv("ZAM_RESOURCES_DIR");
    }

    // Calls of the plug-in's Node getter, Value getter and Value setter since the last look;
    // none before the plug-in is loaded.
    static std::vector<int> callsSinceLastLook() {
        const std::string file = std::string(SF_TEST_PLUGIN_DIR) + "/libTestCounting.so";
        std::vector<int> calls(3, 0);
        if (void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            reinterpret_cast<void (*)(int*)>(dlsym(library, "countingCallsSinceLastLook"))(
                calls.data());
            dlclose(library);
        }
        return calls;
    }

    // The loader's error records for the missing service stay out of the test's output.
    sftest::LogCapture log_{{"library-loader"}};
    sftest::PluginFolder plugins_;
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
    std::unique_ptr<TextInterpreter> text_ = std::make_unique<TextInterpreter>(factory_);
};

TEST_F(TextInterpreterTest, AHostRunsALineInOneCallAndEachMemberOnThePathRunsOnce) {
    // The write types its untyped argument from the property of the object the walk reached.
    const struct {
        const char* line;
        const char* text;
        std::vector<int> calls;  // of the Node getter, the Value getter and the Value setter
    } cases[] = {
        {"CountingService/Value", "7", {0, 1, 0}},
        {"CountingService/Node/Node/Value", "7", {2, 1, 0}},
        {"CountingService/Node/Value(5)", "", {1, 0, 1}},
        {"7300/Node/Node/Node/getValue", "5", {3, 1, 0}},
        {"CountingService/half(5)", "2.5", {0, 0, 0}},
        {"CountingService/Node/halves(values=\"1;-3e300\")", "0.5;-1.5e+300", {1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        callsSinceLastLook();
        const TextResult result = text_->run(c.line);
        EXPECT_EQ(c.text, result.ok ? result.text : "failed: " + result.error);
        EXPECT_EQ(c.calls, callsSinceLastLook());
    }
}

TEST_F(TextInterpreterTest, NEGATIVE_FailuresCarryTheirMessageAndTheFactorysReason) {
    const struct {
        const char* line;
        const char* error;
        const char* why;
    } cases[] = {
        {"CountingService/Value(x)", "argument 1 of Value: \"x\" is not an int", ""},
        {"CountingService/half(2.5e)", "argument 'value' of half: \"2.5e\" is not a double", ""},
        {"CountingService/Value(", "syntax error at column 23: missing ')'", ""},
        {"CountingService/Nope", "No Method or Property named \"Nope\" was found.", ""},
        {"ZAMUnified::Missing/Value", "No Service called \"ZAMUnified::Missing\" was found.",
         "No library record lists the service N10ZAMUnified7MissingE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const TextResult result = text_->run(c.line);
        EXPECT_EQ(std::string("failed: ") + c.error + " / " + c.why,
                  (result.ok ? "ok: " : "failed: ") + result.error + " / " + result.why);
        EXPECT_EQ(nullptr, result.returnValue);
    }
}

TEST_F(TextInterpreterTest, ValuesAreTypedInTheirStructureAndJson) {
    auto list = std::make_shared<std::vector<float>>(std::vector<float>{0.5f, 2.0f});
    auto empty = std::make_shared<std::vector<int>>();
    const struct {
        std::shared_ptr<ReturnValue> value;
        bool reveal;
        const char* text;
        const char* json;
    } cases[] = {
        {detail::wrapValue<int>(-12), false, "-12", "-12"},
        {detail::wrapValue<unsigned int>(4000000000u), false, "4000000000", "4000000000"},
        {detail::wrapValue<float>(0.1f), false, "0.1", "0.1"},
        {detail::wrapValue<bool>(true), false, "true", "true"},
        {detail::wrapValue<long long>(-9000000000000LL), false, "-9000000000000", "-9000000000000"},
        {detail::wrapValue<double>(0.1), false, "0.1", "0.1"},
        {detail::wrapValue<std::vector<double>>({2.5, 1e300}), false, "2.5;1e+300", "[2.5,1e+300]"},
        {detail::wrapValue<char>('"'), false, "\"", "\"\\\"\""},
        {detail::wrapValue<std::string>(std::string("a\xff")), false, "a\xff", "\"a\xef\xbf\xbd\""},
        {detail::wrapValue<std::shared_ptr<std::vector<float>>>(list), false, "0.5;2", "[0.5,2]"},
        {detail::wrapValue<std::shared_ptr<std::vector<int>>>(empty), false, "", "[]"},
        {detail::wrapValue<zam::SecureString>(zam::SecureString("pin")), false, "********",
         "{\"masked\":true}"},
        {detail::wrapValue<zam::SecureString>(zam::SecureString("pin")), true, "pin", "\"pin\""},
        {std::make_shared<VoidReturnValue>(), false, "", "null"},
        {nullptr, false, "", "null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TextResult result = presentValue(c.value, c.reveal);
        EXPECT_EQ(
            std::string("ok ") + c.text + " " + c.json,
            (result.ok ? "ok " : "failed ") + result.text + " " + TextJson::value(result.value));
    }
}

// A member is described alone, and one without a description reads as it always did; whole
// objects, with descriptions and without, are described in ServiceLibraryTest.
TEST_F(TextInterpreterTest, AMemberIsDescribedAloneAndWithoutADescriptionWhereItHasNone) {
    ObjectDescription description;
    EXPECT_EQ("", text_->describe("CountingService/halves", description).error);
    EXPECT_EQ(R"({"interface":"CountingService","member":"halves","memberKind":"method",)"
              R"j("properties":[],"methods":[{"name":"halves","returnType":"list(double)",)j"
              R"j("parameters":"list(double) values"}]})j",
              TextJson::description(description));
}

// A host holds the ServiceFactory that GetFactory gives; any other implementation has no
// services to run text against.
TEST_F(TextInterpreterTest, NEGATIVE_OnlyTheFrameworksServiceFactoryCanBeDriven) {
    auto framework = std::make_shared<ServiceFactoryImpl>();
    TextInterpreter text(*framework);
    EXPECT_EQ(framework->getUnifiedFactory(), text.factory());
    framework->getUnifiedFactory()->Reset();

    sftest::ForeignServiceFactory other;
    EXPECT_THROW(TextInterpreter{other}, std::invalid_argument);
}

TEST_F(TextInterpreterTest, AnObjectResultIsRememberedForStartsAtItsGuid) {
    const TextResult node = text_->run("CountingService/Node");
    EXPECT_EQ(1u, text_->objects().count(node.value.guid));
    EXPECT_EQ("{\"request\":\"x\",\"ok\":true,\"type\":\"object\",\"text\":\"CountingService " +
                  node.value.guid + "\",\"value\":{\"interface\":\"CountingService\",\"guid\":\"" +
                  node.value.guid + "\"}}",
              TextJson::result("request", "x", node));
    const TextResult again = text_->run("@" + node.value.guid + "/Value");
    EXPECT_EQ("7", again.ok ? again.text : again.error);
}

TEST_F(TextInterpreterTest, ReportsHaveOneJsonFormWithNullsForWhatIsMissing) {
    EXPECT_EQ(R"([{"name":"CountingService","type":"ZAMUnified::CountingService","id":7300,)"
              R"("library":"TestCounting","loaded":true,"installed":true},{"name":"Loose",)"
              R"("type":"acme::Loose","id":null,"library":null,"loaded":false,)"
              R"("installed":false}])",
              TextJson::services({{"CountingService", "ZAMUnified::CountingService", true, 7300,
                                   "TestCounting", true, true},
                                  {"Loose", "acme::Loose", false, 0, "", false, false}}));

    // A reason and a version show only where there is one.
    const LibraryReport failed{
        "Broken", "/x/libBroken.so", "failed", "gone", {}, {}, {}, {}, {}, {9}, "", ""};
    const LibraryReport versioned{"Broken", "/x/libBroken.so", "not loaded", "", {}, {}, {}, {}, {},
                                  {9},      "2.1.0",           "1.0"};
    EXPECT_EQ(R"([{"name":"Broken","path":"/x/libBroken.so","state":"failed","reason":"gone",)"
              R"("provides":{"services":[],"serviceIds":[],"featureSets":[],"featureSetIds":[],)"
              R"("authenticators":[],"authenticatorIds":[9]}},{"name":"Broken",)"
              R"("path":"/x/libBroken.so","state":"not loaded","provides":{"services":[],)"
              R"("serviceIds":[],"featureSets":[],"featureSetIds":[],"authenticators":[],)"
              R"("authenticatorIds":[9]},"version":"2.1.0","frameworkVersion":"1.0"}])",
              TextJson::libraries({failed, versioned}));

    StatisticsReport statistics;
    statistics.dispatcher.queueSize = 2;
    statistics.dispatcher.frontTaskWait = std::chrono::microseconds(1500);
    statistics.dispatcher.tasksRun = 5;
    statistics.backgroundPool.threadsAlive = 4;
    EXPECT_EQ(
        R"({"dispatcher":{"queued":2,"frontTaskWaitMs":1.5,"running":null,"runningForMs":0.0,)"
        R"("tasksRun":5,"tasksOverGuardTime":0,"longestExecutionMs":0.0,"longestWaitMs":0.0,)"
        R"("sinceLastCompletionMs":null},"backgroundPool":{"threadsAlive":4,"threadsBusy":0,)"
        R"("urgentQueued":0,"normalQueued":0,"tasksRun":0}})",
        TextJson::statistics(statistics));
}

}  // namespace
