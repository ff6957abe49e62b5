// Loads {{Name}} the way a host does: GetFactory, the manifest, the service on first use; then
// drives it by text, as svcsh and the console do.
#include <ServicesFramework.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class {{Name}}Test : public ::testing::Test {
  protected:
    void SetUp() override {
        const wchar_t* name = nullptr;
        // This thread makes the first call, so it is the dispatcher thread the service needs.
        GetFactory(&name, &factory_);
        ASSERT_NE(nullptr, factory_);
        ASSERT_TRUE(factory_->addLibraryManifest(PLUGIN_DIR));
    }
    void TearDown() override { factory_->reset(); }

    ZAMUnified::ServiceFactory* factory_ = nullptr;
};

TEST_F({{Name}}Test, LoadsOnFirstUseAndAnswersByText) {
    auto service = factory_->getService({{Id}}u);
    ASSERT_TRUE(service) << factory_->getUnifiedFactory()->getServiceLoadFailure({{Id}}u);
    EXPECT_EQ("{{Name}}Service", service->getInterfaceName());

    ZAMUnified::TextInterpreter text(*factory_);
    std::vector<std::string> changes;
    auto onChange = [&](const std::string&, const ZAMUnified::TextResult& value,
                        const ZAMUnified::PropertyChange&) { changes.push_back(value.text); };
    ASSERT_TRUE(text.watch("{{Name}}Service/Level", "level", onChange).ok);
    const struct {
        const char* line;
        const char* text;
    } requests[] = {
        {"{{Name}}Service/Title", "{{Name}}"},
        {"{{Name}}Service/greet", "Hello from {{Name}}"},
        {"{{Name}}Service/greet(name=\"Ada\")", "Hello, Ada, from {{Name}}"},
        {"{{Name}}Service/Level(2.5)", ""},
        {"{{Name}}Service/adjust(delta=-1)", "1.5"},
        {"{{Name}}Service/Level", "1.5"},
    };
    for (const auto& request : requests) {
        const ZAMUnified::TextResult result = text.run(request.line);
        EXPECT_TRUE(result.ok) << request.line << ": " << result.error;
        EXPECT_EQ(request.text, result.text) << request.line;
    }
    EXPECT_EQ((std::vector<std::string>{"2.5", "1.5"}), changes);
    EXPECT_FALSE(text.run("{{Name}}Service/adjust(delta=much)").ok);
}

TEST_F({{Name}}Test, TheFeatureSetStartsAndStops) {
    auto unified = factory_->getUnifiedFactory();
    ASSERT_TRUE(unified->IsFeatureSetProvisioned({{Id}}u));
    auto events = std::make_shared<std::vector<std::shared_ptr<ZAMUnified::ServiceEvent>>>();
    unified->StartFeatureSet({{Id}}u, events);
    EXPECT_TRUE(unified->IsFeatureSetStarted({{Id}}u));
    unified->StopFeatureSet({{Id}}u, events);
    EXPECT_FALSE(unified->IsFeatureSetStarted({{Id}}u));
}

}  // namespace
