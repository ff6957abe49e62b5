// Drives the real sample library as a host would: loaded on demand through a UnifiedFactory (the
// built-in record finds it in the build tree), then used by text through the Interpreter.
#include <ServicesFramework.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace ZAMUnified;
using ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

const char* const kServiceName = "N10ZAMUnified17HelloWorldServiceE";

// The interpreter's refusal of a write, naming the type the library declared for the property.
std::string writeRefused(const std::string& property, const std::string& type) {
    return "error:The parameters entered for Property \"" + property +
           "\" are not valid.  Only one parameter can be accepted to set the Property and the type "
           "must be \"" +
           type + "\".";
}

struct Argument {
    const char* type;
    const char* text;
};

class HelloWorldServiceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Before Init(): the built-in records resolve their paths from it.
        setenv("ZAM_RESOURCES_DIR", HW_RESOURCES_DIR, 1);
        factory_ = std::make_shared<UnifiedFactory>();
        factory_->Init();
        service_ = factory_->getService(kServiceName);
        ASSERT_TRUE(service_) << "libHelloWorldService.so did not load";
        auto services = std::make_shared<UnifiedServiceMap>();
        (*services)["HelloWorldService"] = service_;
        interpreter_ = std::make_unique<Interpreter>(services);
        interpreter_->setUnifiedBusinessObjectMap(objects_);
    }
    void TearDown() override {
        interpreter_.reset();
        service_.reset();
        // Breaks the cycle between the factory, its loader and the registered services.
        factory_->Reset();
    }

    // Starts at the object of `guid` when one is given.
    std::shared_ptr<ExecutionResult> execute(const std::string& path,
                                             std::vector<Argument> arguments = {},
                                             const std::string& guid = "") {
        auto request = std::make_shared<Request>(path);
        if (!guid.empty()) {
            request->addParameterToMethod(
                "UnifiedBusinessObject",
                std::make_shared<ActualParameter<std::string>>("string", "guid", guid));
        }
        for (const Argument& argument : arguments) {
            auto parameter = GetFormalParameterFromStrings(argument.type, "arg", argument.text,
                                                           objects_, nullptr);
            EXPECT_TRUE(parameter) << argument.type << " " << argument.text;
            request->addParameterToMethod(request->getLastMethod(), parameter);
        }
        return interpreter_->execute(request);
    }
    // "ok:<text>", "ok:void" or "error:<message>".
    std::string run(const std::string& path, std::vector<Argument> arguments = {},
                    const std::string& guid = "") {
        auto result = execute(path, std::move(arguments), guid);
        if (!result->isSuccess()) {
            return "error:" + result->getErrorMessage();
        }
        auto value = result->getResult();
        return "ok:" + (value->getReturnType() == "void" ? "void" : GetReturnValueAsString(value));
    }

    std::shared_ptr<UnifiedFactory> factory_;
    std::shared_ptr<UnifiedService> service_;
    std::shared_ptr<UnifiedBusinessObjectMap> objects_ =
        std::make_shared<UnifiedBusinessObjectMap>();
    std::unique_ptr<Interpreter> interpreter_;
};

TEST_F(HelloWorldServiceTest, LoadsOnDemandWithWhatTheLibraryDeclares) {
    EXPECT_EQ(service_, factory_->getService(42876u));
    EXPECT_EQ("HelloWorldService", service_->getInterfaceName());
    auto record = factory_->getLibraryRecord(42876u);
    ASSERT_TRUE(record);
    EXPECT_NE(std::string::npos, record->path.find("/lib/libHelloWorldService.so"));
    EXPECT_EQ(std::vector<std::string>{"HelloWorldService"},
              interpreter_->getSupportedServiceNames());

    EXPECT_TRUE(factory_->IsFeatureSetProvisioned(42876));
    EXPECT_FALSE(factory_->IsFeatureSetStarted(42876));
    auto events = std::make_shared<std::vector<std::shared_ptr<ServiceEvent>>>();
    factory_->StartFeatureSet(42876, events);
    EXPECT_TRUE(factory_->IsFeatureSetStarted(42876));
    factory_->StopFeatureSet(42876, events);
    EXPECT_FALSE(factory_->IsFeatureSetStarted(42876));
    EXPECT_TRUE(factory_->GetFeatureSetDependencies(42876).empty());

    // The authenticator is found whatever the case of its name.
    EXPECT_EQ(1801u, factory_->getAuthenticatorId("helloworld"));
    EXPECT_EQ("HELLOWORLD", factory_->getAuthenticatorName(1801));
    EXPECT_EQ("Hello World Sign-In", factory_->getAuthenticatorDisplayName(1801));
    EXPECT_TRUE(factory_->getAuthenticator(1801));
}

TEST_F(HelloWorldServiceTest, GreetingIsReadWrittenAndAnnounced) {
    std::vector<std::string> seen;
    auto subscription = std::make_shared<Subscription>("HelloWorldService/Greeting", "greeting");
    subscription->setNonListPropertyCallback([&seen](std::string id, PropertyValueFetcher fetch) {
        seen.push_back(id + "=" + GetReturnValueAsString(fetch()));
    });
    auto connection = interpreter_->subscribe(subscription);
    ASSERT_TRUE(connection->isSuccess()) << connection->getErrorMessage();

    EXPECT_EQ("ok:Hello", run("HelloWorldService/Greeting"));
    EXPECT_EQ("ok:void", run("HelloWorldService/setGreeting", {{"string", "Hi"}}));
    EXPECT_EQ("ok:Hi", run("HelloWorldService/getGreeting"));
    EXPECT_EQ(std::vector<std::string>{"greeting=Hi"}, seen);
    EXPECT_EQ(writeRefused("Greeting", "std::string"),
              run("HelloWorldService/Greeting", {{"int", "5"}}));

    connection->getResult().lock()->disconnect();
    EXPECT_EQ("ok:void", run("HelloWorldService/setGreeting", {{"string", "Hey"}}));
    EXPECT_EQ(1u, seen.size()) << "no call after disconnect";
}

TEST_F(HelloWorldServiceTest, OverloadsAndNumbers) {
    EXPECT_EQ("ok:Hello, World!", run("HelloWorldService/sayHello"));
    EXPECT_EQ("ok:Hello, Grace!", run("HelloWorldService/sayHello", {{"string", "Grace"}}));
    EXPECT_EQ("ok:42", run("HelloWorldService/add", {{"int", "2"}, {"int", "40"}}));
    EXPECT_EQ(
        "error:The parameters entered for Method \"add\" are not valid.  Either the type of one "
        "ore more parameters entered are not correct, or the number of parameters entered is not "
        "correct.",
        run("HelloWorldService/add", {{"int", "2"}, {"string", "40"}}));
    EXPECT_EQ("ok:Grace", run("HelloWorldService/GreetedNames"));
}

TEST_F(HelloWorldServiceTest, ListsAreTakenReadAndAnnounced) {
    std::vector<std::string> seen;
    auto names = std::make_shared<Subscription>("HelloWorldService/GreetedNames", "names");
    names->setBasicListPropertyCallback(
        [&seen](std::string id, PropertyValueFetcher fetch, bool added, int first, int count) {
            seen.push_back(id + " " + GetReturnValueAsString(fetch()) + " " +
                           (added ? "added " : "other ") + std::to_string(first) + " " +
                           std::to_string(count));
        });
    auto guests = std::make_shared<Subscription>("HelloWorldService/Guests", "guests");
    guests->setMutableObjectListPropertyCallback([&seen](std::string id, PropertyValueFetcher fetch,
                                                         bool, int first, int before, int after) {
        seen.push_back(id + " " + GetReturnValueAsString(fetch()) + " " + std::to_string(first) +
                       " " + std::to_string(before) + " " + std::to_string(after));
    });
    auto namesConnection = interpreter_->subscribe(names);
    auto guestsConnection = interpreter_->subscribe(guests);
    ASSERT_TRUE(namesConnection->isSuccess()) << namesConnection->getErrorMessage();
    ASSERT_TRUE(guestsConnection->isSuccess()) << guestsConnection->getErrorMessage();

    EXPECT_EQ("ok:Hello, Ada! Hello, Bob!",
              run("HelloWorldService/greetAll", {{"list(string)", "Ada|Bob"}}));
    EXPECT_EQ("ok:Hello, Cy!", run("HelloWorldService/sayHello", {{"string", "Cy"}}));
    EXPECT_EQ("ok:Ada|Bob|Cy", run("HelloWorldService/GreetedNames"));
    EXPECT_EQ("ok:void", run("HelloWorldService/setGuests", {{"list(string)", "Di|Ed"}}));
    EXPECT_EQ("ok:void", run("HelloWorldService/setGuests", {{"list(string)", "Fay"}}));
    EXPECT_EQ("ok:Fay", run("HelloWorldService/Guests"));
    EXPECT_EQ((std::vector<std::string>{"names Ada|Bob added 0 2", "names Ada|Bob|Cy added 2 1",
                                        "guests Di|Ed 0 0 2", "guests Fay 0 2 1"}),
              seen);

    EXPECT_EQ(writeRefused("GreetedNames", "list(std::string)"),
              run("HelloWorldService/GreetedNames", {{"list(string)", "Zed"}}));
    namesConnection->getResult().lock()->disconnect();
    guestsConnection->getResult().lock()->disconnect();
}

TEST_F(HelloWorldServiceTest, SecureStringPropertyKeepsItsValue) {
    EXPECT_EQ("ok:", run("HelloWorldService/Secret"));
    EXPECT_EQ("ok:void", run("HelloWorldService/setSecret", {{"securestring", "pa55"}}));
    EXPECT_EQ("ok:pa55", run("HelloWorldService/Secret"));
    EXPECT_EQ("zam::SecureString",
              execute("HelloWorldService/Secret")->getResult()->getReturnType());
    EXPECT_EQ(writeRefused("Secret", "zam::SecureString"),
              run("HelloWorldService/Secret", {{"string", "plain"}}));
}

TEST_F(HelloWorldServiceTest, OwnerIsReachedByChainAndByGuid) {
    EXPECT_EQ("ok:Ada", run("HelloWorldService/getOwner/Name"));
    auto owner = execute("HelloWorldService/Owner");
    ASSERT_TRUE(owner->isSuccess());
    auto value = std::dynamic_pointer_cast<ObjectReturnValue>(owner->getResult());
    ASSERT_TRUE(value);
    const std::string guid = value->getObject()->getGuid();
    EXPECT_EQ("HelloWorldOwner " + guid, GetReturnValueAsString(value));
    (*objects_)[guid] = value->getObject();

    const std::string start = "UnifiedBusinessObject/";
    EXPECT_EQ("ok:36", run(start + "Age", {}, guid));
    EXPECT_EQ("ok:void", run(start + "setAge", {{"int", "37"}}, guid));
    EXPECT_EQ("ok:37", run(start + "getAge", {}, guid));
    EXPECT_EQ("ok:void", run(start + "Name", {{"string", "Grace"}}, guid));
    EXPECT_EQ("ok:Grace", run("HelloWorldService/getOwner/Name"));
}

TEST_F(HelloWorldServiceTest, NEGATIVE_UpdatesOffTheDispatcherThreadAreRefused) {
    std::vector<std::string> outcomes;
    std::thread worker([&] {
        for (const char* path : {"HelloWorldService/setGreeting", "HelloWorldService/sayHello"}) {
            try {
                execute(path, {{"string", "Eve"}});
                outcomes.push_back(std::string(path) + " ran");
            } catch (const DispatcherAccessExceptionImpl&) {
                outcomes.push_back(std::string(path) + " refused");
            }
        }
    });
    worker.join();
    EXPECT_EQ((std::vector<std::string>{"HelloWorldService/setGreeting refused",
                                        "HelloWorldService/sayHello refused"}),
              outcomes);
    EXPECT_EQ("ok:Hello", run("HelloWorldService/Greeting"));
    // An empty list is a value whose text is empty.
    EXPECT_EQ("ok:", run("HelloWorldService/GreetedNames"));
}

}  // namespace
