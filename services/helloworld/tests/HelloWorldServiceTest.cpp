// Drives the real sample library as a host would: loaded on demand through a UnifiedFactory (the
// built-in record finds it in the build tree), then used by text through the Interpreter. What the
// library answers to each line is the shell's to show (ShellProcessTest runs examples/hello.svc
// and watches every kind of its properties); here stays what only a host in-process can see.
#include <ServicesFramework.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace ZAMUnified;

class HelloWorldServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Before Init(): the built-in records resolve their paths from it.
        setenv("ZAM_RESOURCES_DIR", HW_RESOURCES_DIR, 1);
        factory_->Init();
        service_ = factory_->getService("N10ZAMUnified17HelloWorldServiceE");
        ASSERT_TRUE(service_) << "libHelloWorldService.so did not load";
    }
    // Breaks the cycle between the factory, its loader and the registered services.
    void TearDown() override { factory_->Reset(); }

    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
    std::shared_ptr<UnifiedService> service_;
};

// Loaded on demand with what the library declares: its feature set provisioned from the start,
// started only when asked, and depending on nothing. Its writers and its greeting, which records
// the name, insist on the dispatcher thread.
TEST_F(HelloWorldServiceTest, NEGATIVE_LoadsOnDemandAndRefusesUpdatesOffTheDispatcherThread) {
    EXPECT_TRUE(factory_->IsFeatureSetProvisioned(42876));
    EXPECT_FALSE(factory_->IsFeatureSetStarted(42876));
    EXPECT_TRUE(factory_->GetFeatureSetDependencies(42876).empty());
    EXPECT_TRUE(factory_->getAuthenticator(1801));

    auto services = std::make_shared<UnifiedServiceMap>();
    (*services)["HelloWorldService"] = service_;
    Interpreter interpreter(services);
    auto execute = [&](const std::string& path) {
        auto request = std::make_shared<Request>(path);
        request->addParameterToMethod(
            request->getLastMethod(),
            std::make_shared<ActualParameter<std::string>>("string", "arg", "Eve"));
        return interpreter.execute(request);
    };
    std::thread worker([&] {
        EXPECT_THROW(execute("HelloWorldService/setGreeting"), DispatcherAccessExceptionImpl);
        EXPECT_THROW(execute("HelloWorldService/sayHello"), DispatcherAccessExceptionImpl);
    });
    worker.join();
    // Nothing changed, and the same write on this thread goes through.
    const auto greeting = [&] {
        auto result = interpreter.execute(std::make_shared<Request>("HelloWorldService/Greeting"));
        return result->getResult()->getValueAsString();
    };
    EXPECT_EQ("Hello", greeting());
    EXPECT_TRUE(execute("HelloWorldService/setGreeting")->isSuccess());
    EXPECT_EQ("Eve", greeting());
}

}  // namespace
