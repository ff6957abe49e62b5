#include <ZAMUnified/ReflectionHelpers.h>

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ReflectionTypeConversion.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace ZAMUnified;
using reflection_test::collectionOf;
using ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString;

struct Counter {
    int getValue() const { return value; }
    void setValue(int newValue) { value = newValue; }
    std::string getName() const { return "counter"; }
    int add(int a, int b) { return a + b; }
    std::string describe() const { return "value " + std::to_string(value); }
    std::string describe(const std::string& prefix) const { return prefix + std::to_string(value); }
    std::shared_ptr<std::vector<std::string>> getTags() const { return tags; }

    int value = 0;
    std::shared_ptr<std::vector<std::string>> tags =
        std::make_shared<std::vector<std::string>>(std::vector<std::string>{"a", "b"});
};

std::shared_ptr<ObjectReflector<Counter>> madeReflector(
    const std::shared_ptr<Counter>& counter, std::shared_ptr<ChangeNotifier> changes = nullptr,
    std::shared_ptr<ListChangeNotifier> tagChanges = nullptr,
    std::shared_ptr<MutableListChangeNotifier> cellChanges = nullptr) {
    auto reflector = std::make_shared<ObjectReflector<Counter>>("Counter", counter);
    reflector->property("Value", &Counter::getValue, &Counter::setValue, std::move(changes))
        .property("Name", &Counter::getName)
        .method("add", &Counter::add, {"a", "b"})
        .method("plus", &Counter::add)
        .method("describe", selectOverload<std::string() const>(&Counter::describe))
        .method("describe",
                selectOverload<std::string(const std::string&) const>(&Counter::describe),
                {"prefix"})
        .listProperty("Tags", &Counter::getTags, std::move(tagChanges))
        .mutableListProperty("Cells", &Counter::getTags, std::move(cellChanges));
    return reflector;
}

std::shared_ptr<FormalParameter> intArg(int value) {
    return std::make_shared<ActualParameter<int>>("int", "v", value);
}
std::shared_ptr<FormalParameter> stringArg(const std::string& value) {
    return std::make_shared<ActualParameter<std::string>>("std::string", "v", value);
}

// "ok:<text>", "ok:void" or "error:<message>".
std::string run(const Interpreter& interpreter, const std::string& path,
                std::vector<std::shared_ptr<FormalParameter>> arguments = {}) {
    auto request = std::make_shared<Request>(path);
    if (!arguments.empty()) {
        request->addParameterCollectionToMethod(request->getLastMethod(), collectionOf(arguments));
    }
    auto result = interpreter.execute(request);
    if (!result->isSuccess()) {
        return "error:" + result->getErrorMessage();
    }
    auto value = result->getResult();
    return "ok:" +
           (value && value->getReturnType() == "void" ? "void" : GetReturnValueAsString(value));
}

Interpreter interpreterFor(std::shared_ptr<Reflector> reflector) {
    auto reflectors = std::make_shared<ReflectorMap>();
    (*reflectors)["Svc"] = std::move(reflector);
    return Interpreter(reflectors);
}

const std::string kMethodRefused =
    "The parameters entered for Method \"%\" are not valid.  Either the type of one ore more "
    "parameters entered are not correct, or the number of parameters entered is not correct.";
const std::string kPropertyRefused =
    "The parameters entered for Property \"%\" are not valid.  Only one parameter can be accepted "
    "to set the Property and the type must be \"%\".";

// The message with each "%" replaced by the next of `words`.
std::string fill(std::string message, std::vector<std::string> words) {
    for (const std::string& word : words) {
        message.replace(message.find('%'), 1, word);
    }
    return "error:" + message;
}

// One interpreter, so each row sees what the rows before it wrote.
TEST(ReflectionHelpersTest, HelperMadeMembersAnswerWithTheInterpretersTexts) {
    auto reflector = madeReflector(std::make_shared<Counter>());
    Interpreter interpreter = interpreterFor(reflector);
    const struct {
        const char* path;
        std::vector<std::shared_ptr<FormalParameter>> arguments;
        std::string outcome;
    } requests[] = {
        {"Svc/Value", {}, "ok:0"},
        {"Svc/setValue", {intArg(7)}, "ok:void"},
        {"Svc/getValue", {}, "ok:7"},
        {"Svc/Value", {stringArg("x")}, fill(kPropertyRefused, {"Value", "int"})},
        {"Svc/Value", {intArg(1), intArg(2)}, fill(kPropertyRefused, {"Value", "int"})},
        {"Svc/Name", {}, "ok:counter"},
        {"Svc/setName", {stringArg("other")}, fill(kPropertyRefused, {"setName", "std::string"})},
        {"Svc/Tags", {stringArg("c")}, fill(kPropertyRefused, {"Tags", "list(std::string)"})},
        {"Svc/add", {intArg(2), intArg(3)}, "ok:5"},
        {"Svc/add", {intArg(2)}, fill(kMethodRefused, {"add"})},
        {"Svc/add", {intArg(2), stringArg("3")}, fill(kMethodRefused, {"add"})},
        // Overloads are picked by their arguments.
        {"Svc/describe", {}, "ok:value 7"},
        {"Svc/describe", {stringArg("n=")}, "ok:n=7"},
        {"Svc/describe", {intArg(1)}, fill(kMethodRefused, {"describe"})},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(request.outcome, run(interpreter, request.path, request.arguments))
            << request.path;
    }
    // Only a basic list is a list; a mutable list is subscribed through its own callback.
    auto properties = reflector->Properties();
    std::vector<bool> flags;
    for (const char* name : {"Name", "Value"}) {
        flags.push_back(properties->getProperty(name)->isReadOnly());
    }
    for (const char* name : {"Tags", "Cells", "Value"}) {
        flags.push_back(properties->getProperty(name)->isList());
    }
    EXPECT_EQ((std::vector<bool>{true, false, true, false, false}), flags);

    auto methods = reflector->Methods();
    auto withPrefix = methods->getMethod("describe", collectionOf({stringArg("x")}));
    std::vector<std::string> signatures;
    for (const auto& method : {methods->getMethod("add"), methods->getMethod("plus"),
                               methods->getMethod("describe"), withPrefix}) {
        signatures.push_back(method->getReturnType() + " " + method->getMethodName() + "(" +
                             method->getParameters() + ")");
    }
    EXPECT_EQ((std::vector<std::string>{"int add(int a, int b)", "int plus(int arg1, int arg2)",
                                        "std::string describe()",
                                        "std::string describe(std::string prefix)"}),
              signatures);
    EXPECT_EQ(4u, methods->size());
}

// A service with methods only, under names past the length of a short string.
struct Calculator {
    int addTwoNumbersTogether(int a, int b) const { return a + b; }
    int getAnswerToEverything() const { return 42; }
    int retireFromService() {
        // Drops the map's reference to this service's reflector while the call runs.
        services->erase("ScientificCalculator");
        return 7;
    }
    std::shared_ptr<ReflectorMap> services;
};

// Counts as an int argument: it is one, by inheritance.
class TaggedInt : public ActualParameter<int> {
  public:
    using ActualParameter<int>::ActualParameter;
};

TEST(ReflectionHelpersTest, MethodOnlyServicesAreCalledByLongNamesAndExactArgumentTypes) {
    auto services = std::make_shared<ReflectorMap>();
    auto calculator = std::make_shared<Calculator>();
    calculator->services = services;
    auto reflector = std::make_shared<ObjectReflector<Calculator>>("Calculator", calculator);
    reflector->method("addTwoNumbersTogether", &Calculator::addTwoNumbersTogether, {"a", "b"})
        .method("getAnswerToEverything", &Calculator::getAnswerToEverything)
        .method("retireFromService", &Calculator::retireFromService);
    (*services)["ScientificCalculator"] = reflector;
    const Interpreter interpreter(services);
    const std::string add = "ScientificCalculator/addTwoNumbersTogether";

    const std::string refused = fill(kMethodRefused, {"addTwoNumbersTogether"});
    const struct {
        std::string path;
        std::vector<std::shared_ptr<FormalParameter>> arguments;
        std::string outcome;
    } requests[] = {
        {"ScientificCalculator/getAnswerToEverything", {}, "ok:42"},
        {add, {intArg(2), intArg(3)}, "ok:5"},
        {add, {std::make_shared<TaggedInt>("int", "a", 4), intArg(5)}, "ok:9"},
        {add, {intArg(2), stringArg("3")}, refused},
        {add, {intArg(2)}, refused},
        {add, {}, refused},
        // An empty argument is no argument of any type.
        {add, {intArg(1), nullptr}, refused},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(request.outcome, run(interpreter, request.path, request.arguments))
            << request.path;
    }
    // invoke() refuses what does not match.
    auto method = reflector->Methods()->getMethod("addTwoNumbersTogether");
    EXPECT_FALSE(method->invoke(collectionOf({intArg(1), nullptr})));
    EXPECT_FALSE(method->invoke(nullptr));

    // The call runs to its end although it drops the service from the map on the way.
    method.reset();
    reflector.reset();
    EXPECT_EQ("ok:7", run(interpreter, "ScientificCalculator/retireFromService"));
    EXPECT_TRUE(services->empty());
    calculator->services.reset();
}

// Each kind of property reports its changes through its own notifier and callback; a
// connection holds the property past its reflector, and disconnecting releases both.
TEST(ReflectionHelpersTest, PropertiesReportTheirChangesUntilDisconnected) {
    auto counter = std::make_shared<Counter>();
    auto changes = std::make_shared<ChangeNotifier>();
    auto tagChanges = std::make_shared<ListChangeNotifier>();
    auto cellChanges = std::make_shared<MutableListChangeNotifier>();
    std::vector<std::string> seen;
    std::weak_ptr<Property> property;
    std::vector<std::weak_ptr<PropertyNotifierConnection>> connections;
    {
        auto reflector = madeReflector(counter, changes, tagChanges, cellChanges);
        property = reflector->Properties()->getProperty("Value");
        Interpreter interpreter = interpreterFor(reflector);
        auto value = std::make_shared<Subscription>("Svc/Value", "value");
        value->setNonListPropertyCallback([&seen](std::string id, PropertyValueFetcher fetch) {
            seen.push_back(id + "=" + GetReturnValueAsString(fetch()));
        });
        auto tags = std::make_shared<Subscription>("Svc/Tags", "tags");
        tags->setBasicListPropertyCallback(
            [&seen](std::string id, PropertyValueFetcher fetch, bool flag, int first, int second) {
                seen.push_back(id + " " + GetReturnValueAsString(fetch()) + " " +
                               (flag ? "true " : "false ") + std::to_string(first) + " " +
                               std::to_string(second));
            });
        auto cells = std::make_shared<Subscription>("Svc/Cells", "cells");
        cells->setMutableObjectListPropertyCallback(
            [&seen](std::string id, PropertyValueFetcher, bool flag, int a, int b, int c) {
                seen.push_back(id + (flag ? " true " : " false ") + std::to_string(a) + " " +
                               std::to_string(b) + " " + std::to_string(c));
            });
        for (const auto& subscription : {value, tags, cells}) {
            auto result = interpreter.subscribe(subscription);
            ASSERT_TRUE(result->isSuccess()) << result->getErrorMessage();
            connections.push_back(result->getResult());
        }
    }
    // The reflector is gone; the connected function still holds the property.
    ASSERT_FALSE(property.expired());
    counter->value = 4;
    counter->tags->push_back("c");
    changes->notify();
    tagChanges->notify(true, 2, 1);
    cellChanges->notify(false, 0, 1, 2);
    EXPECT_EQ((std::vector<std::string>{"value=4", "tags a|b|c true 2 1", "cells false 0 1 2"}),
              seen);

    for (const auto& connection : connections) {
        connection.lock()->disconnect();
        EXPECT_TRUE(connection.expired());
    }
    EXPECT_TRUE(property.expired()) << "disconnect must release the function";
    EXPECT_EQ((std::vector<std::size_t>{0, 0, 0}),
              (std::vector<std::size_t>{changes->connectionCount(), tagChanges->connectionCount(),
                                        cellChanges->connectionCount()}));
    changes->notify();
    EXPECT_EQ(3u, seen.size());
}

TEST(ReflectionHelpersTest, AFunctionDisconnectedDuringANotificationIsNotCalled) {
    ChangeNotifier changes;
    std::vector<int> calls;
    std::weak_ptr<PropertyNotifierConnection> second;
    changes.connect([&] {
        calls.push_back(1);
        second.lock()->disconnect();
    });
    second = changes.connect([&] { calls.push_back(2); });
    changes.connect(nullptr);  // connected, never called
    auto token = std::make_shared<int>(0);
    changes.connect([token, &calls] { calls.push_back(3); });
    std::weak_ptr<int> tokenSeen = token;
    token.reset();

    changes.notify();
    EXPECT_EQ((std::vector<int>{1, 3}), calls);
    EXPECT_EQ(3u, changes.connectionCount());
    changes.disconnectAll();
    EXPECT_TRUE(tokenSeen.expired());
    EXPECT_EQ(0u, changes.connectionCount());

    // A connection that outlives its notifier disconnects harmlessly.
    std::shared_ptr<PropertyNotifierConnection> outliving;
    {
        ChangeNotifier shortLived;
        outliving = shortLived.connect([] {}).lock();
    }
    ASSERT_TRUE(outliving);
    outliving->disconnect();
}

// A member that takes or answers std::vector sees lists as every list argument travels: a shared
// vector, and no vector at all as an empty one.
struct Tally {
    int sum(const std::vector<int>& values) const {
        int total = 0;
        for (int value : values) {
            total += value;
        }
        return total;
    }
    std::vector<double> getScores() const { return scores; }
    void setScores(std::vector<double> newScores) { scores = std::move(newScores); }
    std::vector<double> scores{0.5};
};

TEST(ReflectionHelpersTest, VectorsTravelAsListsAndNoVectorReadsAsAnEmptyOne) {
    auto tally = std::make_shared<Tally>();
    auto reflector = std::make_shared<ObjectReflector<Tally>>("Tally", tally);
    reflector->method("sum", &Tally::sum, {"values"})
        .listProperty("Scores", &Tally::getScores, &Tally::setScores);
    Interpreter interpreter = interpreterFor(reflector);
    auto ints = [](std::shared_ptr<std::vector<int>> values) -> std::shared_ptr<FormalParameter> {
        return std::make_shared<ActualParameter<std::shared_ptr<std::vector<int>>>>(
            "list(int)", "values", std::move(values));
    };
    auto doubles =
        [](std::shared_ptr<std::vector<double>> values) -> std::shared_ptr<FormalParameter> {
        return std::make_shared<ActualParameter<std::shared_ptr<std::vector<double>>>>(
            "list(double)", "v", std::move(values));
    };
    const struct {
        const char* path;
        std::vector<std::shared_ptr<FormalParameter>> arguments;
        const char* outcome;
    } requests[] = {
        {"Svc/sum", {ints(std::make_shared<std::vector<int>>(std::vector<int>{1, 2, 3}))}, "ok:6"},
        {"Svc/sum", {ints(nullptr)}, "ok:0"},
        {"Svc/Scores", {}, "ok:0.5"},
        {"Svc/setScores", {doubles(std::make_shared<std::vector<double>>(2, 0.25))}, "ok:void"},
        {"Svc/Scores", {}, "ok:0.25;0.25"},
        {"Svc/setScores", {doubles(nullptr)}, "ok:void"},
        {"Svc/Scores", {}, "ok:"},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(request.outcome, run(interpreter, request.path, request.arguments))
            << request.path;
    }
    EXPECT_EQ("list(int) values", reflector->Methods()->getMethod("sum")->getParameters());
}

// A vector by value carries the same name as the shared one.
TEST(ReflectionHelpersTest, TypeNamesFollowTheFrameworksVocabulary) {
    EXPECT_EQ(
        (std::vector<std::string>{"unsigned int", "long long", "zam::SecureString", "list(bool)",
                                  "list(std::string)", "list(double)", "object"}),
        (std::vector<std::string>{
            ReflectionTypeName<unsigned int>::get(), ReflectionTypeName<long long>::get(),
            ReflectionTypeName<zam::SecureString>::get(),
            ReflectionTypeName<std::shared_ptr<std::vector<bool>>>::get(),
            ReflectionTypeName<std::vector<std::string>>::get(),
            ReflectionTypeName<std::vector<double>>::get(),
            ReflectionTypeName<std::shared_ptr<UnifiedBusinessObject>>::get()}));
    EXPECT_FALSE(IsReflectionType<std::vector<std::vector<int>>>::value);
    EXPECT_FALSE(IsReflectionType<std::shared_ptr<std::vector<std::shared_ptr<Counter>>>>::value);
}

}  // namespace
