#include <ZAMUnified/Reflector.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace reflection_test;

TEST(ReflectorTest, FirstPropertyOfANameWinsAndLookupIsExactAndAsksMatchesParameters) {
    Properties properties;
    auto accepting = std::make_shared<FakeProperty>("b", true);
    auto refusing = std::make_shared<FakeProperty>("Locked", false);
    properties.addProperty(accepting);
    properties.addProperty(refusing);
    properties.addProperty(std::make_shared<FakeProperty>("a", true));
    properties.addProperty(std::make_shared<FakeProperty>("b", true));

    EXPECT_EQ(3u, properties.size());
    EXPECT_EQ((std::vector<std::string>{"Locked", "a", "b"}), properties.getPropertyNames());
    EXPECT_EQ(accepting, properties.getProperty("b"));
    EXPECT_FALSE(properties.getProperty("B"));
    EXPECT_FALSE(properties.getProperty("Missing", nullptr));
    auto parameters = std::make_shared<ParametersCollection>();
    EXPECT_EQ(accepting, properties.getProperty("b", parameters));
    EXPECT_EQ(parameters, accepting->seen);
    // An empty collection is passed on unchanged.
    EXPECT_EQ(accepting, properties.getProperty("b", nullptr));
    EXPECT_FALSE(accepting->seen);
    EXPECT_EQ(refusing, properties.getProperty("Locked"));
    EXPECT_FALSE(properties.getProperty("Locked", parameters));
}

TEST(ReflectorTest, OverloadsAreKeptInOrderAndTheFirstAcceptingOneWins) {
    Methods methods;
    // Given an empty collection, arity 0 accepts and arity 1 refuses.
    auto refusing = std::make_shared<FakeMethod>("run", 1);
    auto first = std::make_shared<FakeMethod>("run", 0);
    auto second = std::make_shared<FakeMethod>("run", 0);
    for (const auto& method : {refusing, std::make_shared<FakeMethod>("alpha", 0), first, second,
                               std::make_shared<FakeMethod>("Only", 1)}) {
        methods.addMethod(method);
    }

    EXPECT_EQ(5u, methods.size());
    EXPECT_EQ((std::vector<std::string>{"Only", "alpha", "run", "run", "run"}),
              methods.getMethodNames());
    EXPECT_EQ(refusing, methods.getMethod("run"));
    EXPECT_EQ((std::vector<std::shared_ptr<Method>>{refusing, first, second}),
              methods.getOverloads("run"));
    EXPECT_TRUE(methods.getOverloads("Run").empty());
    auto parameters = std::make_shared<ParametersCollection>();
    EXPECT_EQ(first, methods.getMethod("run", parameters));
    EXPECT_EQ((std::vector<int>{1, 1, 0}),
              (std::vector<int>{refusing->matchCalls, first->matchCalls, second->matchCalls}));
    EXPECT_EQ(parameters, first->seen);

    // No overload accepts, yet the name exists: the interpreter tells these apart.
    EXPECT_FALSE(methods.getMethod("Only", nullptr));
    EXPECT_TRUE(methods.getMethod("Only"));
    for (const char* name : {"only", "Onl", "Onlyx"}) {
        EXPECT_FALSE(methods.getMethod(name)) << name;
        EXPECT_FALSE(methods.getMethod(name, nullptr)) << name;
    }
}

TEST(ReflectorTest, ParametersCollectionIsBoundedGrowsInOrderAndCopiesShareOneList) {
    ParametersCollection collection;
    EXPECT_THROW(collection.at(0), std::out_of_range);
    ParametersCollection copy = collection;
    std::vector<std::shared_ptr<FormalParameter>> added;
    for (int i = 0; i < 9; ++i) {
        added.push_back(std::make_shared<ActualParameter<int>>("int", "p" + std::to_string(i), i));
        (i % 2 == 0 ? collection : copy).push_back(added.back());
    }
    ASSERT_EQ(9, collection.size());
    ASSERT_EQ(9, copy.size());
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(added[i], collection[i]) << i;
        EXPECT_EQ(added[i], copy.at(i)) << i;
        EXPECT_EQ(&collection[i], &copy[i]) << i;
    }
    for (int index : {-1, 9, -2147483647 - 1}) {
        EXPECT_THROW(collection.at(index), std::out_of_range) << index;
    }
}

// A library's own notifier may call whatever it was given.
struct CallingNotifier : PropertyNotifier {
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) override {
        callbacks.push_back(std::move(callback));
        return connection;
    }
    std::vector<std::function<void()>> callbacks;
    ChangeNotifier own;  // makes the one connection handed out
    std::shared_ptr<PropertyNotifierConnection> connection = own.connect(nullptr).lock();
};

TEST(ReflectorTest, NonListSubscribeConnectsAWrapperAndReturnsTheConnection) {
    auto notifier = std::make_shared<CallingNotifier>();
    ValueProperty property("Name", "string", nullptr, notifier);
    int calls = 0;
    EXPECT_EQ(notifier->connection, property.subscribe([&] { ++calls; }).lock());
    // An empty callback is connected, but firing it must not throw on the notifying thread.
    property.subscribe(std::function<void()>());
    ASSERT_EQ(2u, notifier->callbacks.size());
    notifier->callbacks[0]();
    EXPECT_EQ(1, calls);
    EXPECT_NO_THROW(notifier->callbacks[1]());

    // No notifier: nothing to connect to, and no crash.
    EXPECT_TRUE(ValueProperty("Name", "string", nullptr, nullptr).subscribe([] {}).expired());
}

}  // namespace
