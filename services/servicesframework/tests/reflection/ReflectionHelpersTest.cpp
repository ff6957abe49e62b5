#include <ZAMUnified/ReflectionHelpers.h>

#include <ZAMUnified/ReflectionTypeConversion.h>

#include "interpreter/InterpreterFakes.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using namespace interpreter_test;
using ReflectionTypeConversion::ReturnTypeToStringConversions::GetReturnValueAsString;

struct Counter {
    int getValue() const { return value; }
    void setValue(int newValue) { value = newValue; }
    std::string getName() const { return "counter"; }
    int add(int a, int b) { return a + b; }
    std::string describe() const { return "value " + std::to_string(value); }
    std::string describe(const std::string& prefix) const { return prefix + std::to_string(value); }
    std::shared_ptr<std::vector<std::string>> getTags() const { return tags; }
    int sum(const std::vector<int>& v) const { return std::accumulate(v.begin(), v.end(), 0); }
    std::vector<double> getScores() const { return scores; }
    void setScores(std::vector<double> newScores) { scores = std::move(newScores); }

    int value = 0;
    std::vector<double> scores{0.5};
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
        .mutableListProperty("Cells", &Counter::getTags, std::move(cellChanges))
        // A member that takes or answers std::vector sees lists as every list argument travels:
        // a shared vector, and no vector at all as an empty one.
        .method("sum", &Counter::sum, {"values"})
        .listProperty("Scores", &Counter::getScores, &Counter::setScores);
    return reflector;
}

// An argument of the type name that the helpers give std::string.
std::shared_ptr<FormalParameter> textArg(const std::string& value) {
    return std::make_shared<ActualParameter<std::string>>("std::string", "v", value);
}
template <typename T>
std::shared_ptr<FormalParameter> listArg(const char* type, std::vector<T>* values) {
    return std::make_shared<ActualParameter<std::shared_ptr<std::vector<T>>>>(
        type, "v", values ? std::make_shared<std::vector<T>>(*values) : nullptr);
}

// "ok:<text>", "ok:void" or the error message.
std::string run(const Interpreter& interpreter, const std::string& path,
                std::vector<std::shared_ptr<FormalParameter>> arguments = {}) {
    auto request = std::make_shared<Request>(path);
    if (!arguments.empty()) {
        request->addParameterCollectionToMethod(request->getLastMethod(), collectionOf(arguments));
    }
    auto result = interpreter.execute(request);
    if (!result->isSuccess()) {
        return result->getErrorMessage();
    }
    auto value = result->getResult();
    return "ok:" +
           (value && value->getReturnType() == "void" ? "void" : GetReturnValueAsString(value));
}

// Runs the rows in order against one interpreter.
struct Row {
    std::string path;
    std::vector<std::shared_ptr<FormalParameter>> arguments;
    std::string outcome;
};
void expectOutcomes(const Interpreter& interpreter, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(row.outcome, run(interpreter, row.path, row.arguments)) << row.path;
    }
}

// One interpreter, so each row sees what the rows before it wrote.
TEST(ReflectionHelpersTest, HelperMadeMembersAnswerWithTheInterpretersTexts) {
    auto reflector = madeReflector(std::make_shared<Counter>());
    const Interpreter interpreter(std::make_shared<ReflectorMap>(ReflectorMap{{"Svc", reflector}}));
    std::vector<int> ints{1, 2, 3};
    std::vector<double> quarters{0.25, 0.25};
    // clang-format off
    expectOutcomes(interpreter, {
        {"Svc/Value", {}, "ok:0"}, {"Svc/setValue", {intArg(7)}, "ok:void"},
        {"Svc/getValue", {}, "ok:7"},
        {"Svc/Value", {textArg("x")}, propertyRefused("Value", "int")},
        {"Svc/Value", {intArg(1), intArg(2)}, propertyRefused("Value", "int")},
        {"Svc/Name", {}, "ok:counter"},
        {"Svc/setName", {textArg("other")}, propertyRefused("setName", "std::string")},
        {"Svc/Tags", {}, "ok:a|b"},
        {"Svc/Tags", {textArg("c")}, propertyRefused("Tags", "list(std::string)")},
        {"Svc/add", {intArg(2), intArg(3)}, "ok:5"}, {"Svc/add", {intArg(2)}, methodRefused("add")},
        {"Svc/add", {intArg(2), textArg("3")}, methodRefused("add")},
        // Overloads are picked by their arguments.
        {"Svc/describe", {}, "ok:value 7"}, {"Svc/describe", {textArg("n=")}, "ok:n=7"},
        {"Svc/describe", {intArg(1)}, methodRefused("describe")},
        {"Svc/sum", {listArg("list(int)", &ints)}, "ok:6"},
        {"Svc/sum", {listArg<int>("list(int)", nullptr)}, "ok:0"}, {"Svc/Scores", {}, "ok:0.5"},
        {"Svc/setScores", {listArg("list(double)", &quarters)}, "ok:void"},
        {"Svc/Scores", {}, "ok:0.25;0.25"},
        {"Svc/setScores", {listArg<double>("list(double)", nullptr)}, "ok:void"},
        {"Svc/Scores", {}, "ok:"},
    });
    // clang-format on
    // Only a basic list is a list; a mutable list is subscribed through its own callback.
    auto properties = reflector->Properties();
    std::string flags;
    for (const char* name : {"Name", "Value", "Tags", "Cells"}) {
        auto property = properties->getProperty(name);
        flags += std::string(name) + (property->isReadOnly() ? " read-only" : "") +
                 (property->isList() ? " list" : "") + "; ";
    }
    EXPECT_EQ("Name read-only; Value; Tags read-only list; Cells read-only; ", flags);
    auto methods = reflector->Methods();
    std::string signatures;
    for (const auto& method :
         {methods->getMethod("add"), methods->getMethod("plus"), methods->getMethod("describe"),
          methods->getMethod("describe", collectionOf({textArg("x")})),
          methods->getMethod("sum")}) {
        signatures += method->getReturnType() + " " + method->getMethodName() + "(" +
                      method->getParameters() + "); ";
    }
    EXPECT_EQ(
        "int add(int a, int b); int plus(int arg1, int arg2); std::string describe(); "
        "std::string describe(std::string prefix); int sum(list(int) values); ",
        signatures);
    EXPECT_EQ(5u, methods->size());
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

    const std::string refused = methodRefused("addTwoNumbersTogether");
    // clang-format off
    expectOutcomes(interpreter, {
        {"ScientificCalculator/getAnswerToEverything", {}, "ok:42"},
        {add, {intArg(2), intArg(3)}, "ok:5"},
        {add, {std::make_shared<TaggedInt>("int", "a", 4), intArg(5)}, "ok:9"},
        {add, {intArg(2), textArg("3")}, refused}, {add, {intArg(2)}, refused},
        {add, {}, refused},
        // An empty argument is no argument of any type.
        {add, {intArg(1), nullptr}, refused},
    });
    // clang-format on
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

// Each kind of property reports its changes through the notifier it was made with, and a
// notifier calls each connected function until it is disconnected, which releases the function.
TEST(ReflectionHelpersTest, PropertiesReportTheirChangesUntilDisconnected) {
    auto changes = std::make_shared<ChangeNotifier>();
    auto tagChanges = std::make_shared<ListChangeNotifier>();
    auto cellChanges = std::make_shared<MutableListChangeNotifier>();
    auto properties =
        madeReflector(std::make_shared<Counter>(), changes, tagChanges, cellChanges)->Properties();
    std::vector<std::string> seen;
    auto token = std::make_shared<int>(0);
    std::weak_ptr<int> tokenSeen = token;
    // Each function notes its kind and the details, and holds the token.
    auto hear = [&seen, &token](std::string kind) {
        return [&seen, kind, token](auto... details) {
            std::string line = kind;
            ((line += " " + std::to_string(details)), ...);
            seen.push_back(line);
        };
    };
    const std::weak_ptr<PropertyNotifierConnection> connections[] = {
        std::dynamic_pointer_cast<NonListProperty>(properties->getProperty("Value"))
            ->subscribe(hear("value")),
        std::dynamic_pointer_cast<ListProperty>(properties->getProperty("Tags"))
            ->subscribe(hear("tags")),
        std::dynamic_pointer_cast<MutableListProperty>(properties->getProperty("Cells"))
            ->subscribe(hear("cells")),
    };
    token.reset();
    changes->notify();
    tagChanges->notify(true, 2, 1);
    cellChanges->notify(false, 0, 1, 2);
    EXPECT_EQ((std::vector<std::string>{"value", "tags 1 2 1", "cells 0 0 1 2"}), seen);

    for (const auto& connection : connections) {
        connection.lock()->disconnect();
        EXPECT_TRUE(connection.expired());
    }
    // Only its slot owns a connection, and every function holds the token: nothing is left to
    // count or to call.
    EXPECT_TRUE(tokenSeen.expired()) << "disconnect must release the function";
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
