#include <ZAMUnified/Interpreter.h>

#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/Subscription.h>

#include "interpreter/InterpreterFakes.h"

#include <gtest/gtest.h>

namespace {

using namespace interpreter_test;

// A service is a business object that the factory hands out; the fake object does the rest.
class FakeService : public UnifiedService, public FakeObject {
  public:
    using FakeObject::FakeObject;
};

TEST(InterpreterTest, ServicesGetTheirReflectorsOnceInNameOrderEvenWhenEmpty) {
    // The registration outlives the test, so it owns what it touches.
    auto asked = std::make_shared<std::vector<std::string>>();
    auto reflector = std::make_shared<FakeReflector>("Made");
    ReflectorFactory::AddReflectorFactoryMethod("InterpreterTestService",
                                                [asked, reflector](auto object) {
                                                    asked->push_back(object->getGuid());
                                                    return reflector;
                                                });
    auto services = std::make_shared<UnifiedServiceMap>();
    (*services)["B"] = std::make_shared<FakeService>("b", "InterpreterTestService");
    (*services)["A"] = std::make_shared<FakeService>("a", "InterpreterTestService");
    (*services)["C"] = std::make_shared<FakeService>("c", "InterpreterTestUnregistered");
    Interpreter interpreter(services);

    EXPECT_EQ((std::vector<std::string>{"a", "b"}), *asked);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C"}), interpreter.getSupportedServiceNames());
    EXPECT_EQ(reflector, interpreter.findScriptableRefectorForServiceName("A"));
    EXPECT_FALSE(interpreter.findScriptableRefectorForServiceName("C"));
    EXPECT_FALSE(interpreter.findScriptableRefectorForServiceName("a"));
    EXPECT_EQ(noService("C"),
              interpreter.execute(std::make_shared<Request>("C/Count"))->getErrorMessage());
    EXPECT_EQ(2u, asked->size());

    // An empty map pointer is a map without services, not a crash.
    EXPECT_TRUE(Interpreter(std::shared_ptr<ReflectorMap>()).getSupportedServiceNames().empty());
    EXPECT_TRUE(
        Interpreter(std::shared_ptr<UnifiedServiceMap>()).getSupportedServiceNames().empty());
}

TEST(InterpreterTest, NEGATIVE_EmptyRequestsFailAndTheReflectorMapIsSharedWithItsOwner) {
    World world;
    auto executed = world.interpreter.execute(std::shared_ptr<Request>());
    auto subscribed = world.interpreter.subscribe(std::shared_ptr<Subscription>());
    EXPECT_EQ(
        (std::vector<std::string>{"Cannot execute an empty Request.",
                                  "Cannot subscribe an empty Subscription."}),
        (std::vector<std::string>{executed->getErrorMessage(), subscribed->getErrorMessage()}));
    EXPECT_FALSE(executed->isSuccess() || subscribed->isSuccess());

    // The reflector map is shared with its owner.
    EXPECT_EQ((std::vector<std::string>{"Empty", "Svc"}),
              world.interpreter.getSupportedServiceNames());
    (*world.reflectors)["Late"] = world.owner;
    EXPECT_EQ(world.owner, world.interpreter.findScriptableRefectorForServiceName("Late"));
}

// Each path runs once against a fresh world; the value is "type:text" or "<none>".
TEST(InterpreterTest, ExecutionAnswersWithTheLastValueOrTheFirstFailure) {
    using Args = std::vector<std::pair<std::string, std::vector<std::shared_ptr<FormalParameter>>>>;
    // clang-format off
    const struct {
        std::string path;
        Args args;
        std::string message;  // empty: success
        std::string value = "<none>";
    } cases[] = {
        {"Svc", {}, "Method or Property is empty."}, {"Svc/", {}, "Method or Property is empty."},
        {"Nope/Count", {}, noService("Nope")}, {"Empty/Count", {}, noService("Empty")},
        {"unifiedbusinessobject/Count", {}, noService("unifiedbusinessobject")},
        {"Svc/Missing/Count", {}, noMember("Missing")},
        {"Svc/add", {{"add", {intArg(1), intArg(2), intArg(3)}}}, methodRefused("add")},
        {"Svc/setCount", {{"setCount", {stringArg("7")}}}, propertyRefused("setCount", "int")},
        {"Svc/Nothing/Name", {}, "Method or Property \"Name" + kNoValue},
        {"Svc/Nothing/Missing", {}, "Method or Property \"Missing" + kNoValue},
        {"Svc/Text/Name", {}, noReflector("Name")}, {"Svc/Count/Name", {}, noReflector("Name")},
        {"Svc/Nothing", {}, ""}, {"Svc/Count//fail", {}, "", "int:1"},
        {"Svc/getOwner/Name", {}, "", "string:owner"},
        {"Svc/owner/getName", {}, "", "string:owner"}, {"Svc/GeTCount", {}, "", "int:1"},
        {"Svc/getcount", {}, noMember("getcount")}, {"Svc/getX", {}, "", "string:x"},
        {"Svc/sETCount", {}, "", "int:1"}, {"Svc/ge", {}, noMember("ge")},
        {"Svc/Get", {}, noMember("Get")}, {"Svc/get_Count", {}, noMember("get_Count")},
        {"Svc/add", {{"add", {intArg(1)}}}, "", "int:one"},
        {"Svc/add", {{"add", {intArg(1), stringArg("b")}}}, "", "int:two"},
    };
    // clang-format on
    for (const auto& c : cases) {
        World world;
        auto request = std::make_shared<Request>(c.path);
        for (const auto& attached : c.args) {
            request->addParameterCollectionToMethod(attached.first, collectionOf(attached.second));
        }
        auto result = world.interpreter.execute(request);
        EXPECT_EQ(c.message + (c.message.empty() ? " succeeds with " : " fails with ") + c.value,
                  result->getErrorMessage() +
                      (result->isSuccess() ? " succeeds with " : " fails with ") +
                      describe(result->getResult()))
            << c.path;
    }
}

TEST(InterpreterTest, AttachedArgumentsNotThePrefixDecideBetweenReadAndWriteAlongTheChain) {
    World world;
    auto run = [&world](const std::string& path, std::shared_ptr<ParametersCollection> collection) {
        auto request = std::make_shared<Request>(path);
        request->addParameterCollectionToMethod(request->getLastMethod(), collection);
        return describe(world.interpreter.execute(request)->getResult());
    };
    auto argument = collectionOf({intArg(5)});
    EXPECT_EQ("void:", run("Svc/getCount", argument));
    EXPECT_EQ(argument, world.count->written);
    EXPECT_EQ(0, world.count->reads);
    EXPECT_EQ("int:1", run("Svc/setCount", nullptr));
    EXPECT_EQ("int:2", run("Svc/Count", collectionOf({})));
    EXPECT_EQ("void:", run("Svc/Count", argument));
    // The whole name "getX" is a method because no property "X" exists.
    EXPECT_EQ("string:x", run("Svc/getX", collectionOf({})));
    EXPECT_EQ(1, world.getX->calls);

    // Along a chain, arguments are passed by name, and a write goes through a returned object.
    auto request = std::make_shared<Request>("Svc/getOwner/Name");
    request->addParameterToMethod("Name", stringArg("new"));
    // Failures carry no value, so a void value is a success.
    EXPECT_EQ("void:", describe(world.interpreter.execute(request)->getResult()));
    EXPECT_EQ(request->getParameterCollectionByMethod("Name"), world.ownerName->written);
    EXPECT_EQ(1, world.ownerProperty->reads);
    // A consumed request fails at the start when run again.
    EXPECT_EQ(noService(""), world.interpreter.execute(request)->getErrorMessage());
}

TEST(InterpreterTest, ExceptionsFromServicesPassThroughUnchanged) {
    World world;
    EXPECT_THROW(world.interpreter.execute(std::make_shared<Request>("Svc/fail")), ServiceFault);
    // A step that fails ends the chain before the throwing method is reached.
    EXPECT_FALSE(
        world.interpreter.execute(std::make_shared<Request>("Svc/Missing/fail"))->isSuccess());

    ReflectorFactory::AddReflectorFactoryMethod(
        "InterpreterTestThrowingFactory",
        [](auto) -> std::shared_ptr<Reflector> { throw ServiceFault("factory broke"); });
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    (*objects)["g"] = std::make_shared<FakeObject>("g", "InterpreterTestThrowingFactory");
    world.interpreter.setUnifiedBusinessObjectMap(objects);
    auto request = std::make_shared<Request>("UnifiedBusinessObject/Name");
    request->addParameterToMethod("UnifiedBusinessObject", stringArg("g"));
    EXPECT_THROW(world.interpreter.execute(request), ServiceFault);
}

// Every check of a start by GUID, in order of precedence; each case also breaks every later rule.
TEST(InterpreterTest, StartByGuidFailsInOrderAndThenRunsTheChain) {
    World world;
    ReflectorFactory::AddReflectorFactoryMethod("InterpreterTestObject",
                                                [owner = world.owner](auto) { return owner; });
    auto objects = std::make_shared<UnifiedBusinessObjectMap>();
    const std::string noReflectorForObject =
        "No Reflector for given UnifiedBusinessObject was found.";
    const struct {
        std::shared_ptr<ParametersCollection> guid;
        bool setMap;
        std::string message;
    } cases[] = {
        {nullptr, false, "No parameters found for method 'UnifiedBusinessObject'"},
        {collectionOf({}), false,
         "Insufficient number of parameters found for method 'UnifiedBusinessObject' passed"},
        {collectionOf({stringArg("known"), stringArg("known")}), false,
         "Insufficient number of parameters found for method 'UnifiedBusinessObject' passed"},
        {collectionOf({intArg(1)}), false, "No GUID parameter found for UnifiedBusinessObject"},
        {collectionOf({stringArg("known")}), false,
         "Map of UnifiedBusinessObjects is not initialized"},
        {collectionOf({stringArg("KNOWN")}), true, "No UnifiedBusinessObject found for GUID:KNOWN"},
        {collectionOf({stringArg("plain")}), true, noReflectorForObject},
        {collectionOf({stringArg("empty")}), true, noReflectorForObject},
        {collectionOf({stringArg("known")}), true, ""},
    };
    for (const auto& c : cases) {
        Interpreter interpreter(world.reflectors);
        if (c.setMap) {
            interpreter.setUnifiedBusinessObjectMap(objects);
        }
        auto request = std::make_shared<Request>("UnifiedBusinessObject/Name");
        request->addParameterCollectionToMethod("UnifiedBusinessObject", c.guid);
        // Filled after the map was handed over: the interpreter sees the owner's changes.
        (*objects)["known"] = std::make_shared<FakeObject>("known", "InterpreterTestObject");
        (*objects)["plain"] = std::make_shared<FakeObject>("plain", "InterpreterTestNoReflector");
        (*objects)["empty"] = nullptr;
        auto result = interpreter.execute(request);
        EXPECT_EQ(c.message, result->getErrorMessage());
        EXPECT_EQ(c.message.empty() ? "string:owner" : "<none>", describe(result->getResult()));
    }
    EXPECT_FALSE(world.interpreter.findScriptableRefectorByUnifiedBusinessObject(nullptr));
}

}  // namespace
