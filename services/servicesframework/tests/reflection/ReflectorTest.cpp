#include <ZAMUnified/Reflector.h>

#include "reflection/ReflectionFakes.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace reflection_test;

TEST(ReflectorTest, ContainersAreMadeOnceAndTheBaseNameIsFixed) {
    FakeReflector reflector;
    EXPECT_EQ(reflector.Methods(), reflector.Methods());
    EXPECT_EQ(reflector.Properties(), reflector.Properties());
    EXPECT_EQ(0u, reflector.Methods()->size());
    EXPECT_EQ(0u, reflector.Properties()->size());
    EXPECT_EQ("Reflector", reflector.getBaseName());
    EXPECT_EQ("Reflector", FakeReflector("Other").getBaseName());
}

TEST(ReflectorTest, FirstPropertyOfANameWinsAndNamesAreSorted) {
    Properties properties;
    properties.addProperty(std::make_shared<FakeProperty>("b", true, "first"));
    properties.addProperty(std::make_shared<FakeProperty>("a", true));
    properties.addProperty(std::make_shared<FakeProperty>("b", true, "second"));

    EXPECT_EQ(2u, properties.size());
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), properties.getPropertyNames());
    auto found = std::dynamic_pointer_cast<FakeProperty>(properties.getProperty("b"));
    ASSERT_TRUE(found);
    EXPECT_EQ("first", found->tag());
}

TEST(ReflectorTest, PropertyLookupIsCaseSensitiveAndAsksMatchesParameters) {
    Properties properties;
    auto accepting = std::make_shared<FakeProperty>("Name", true);
    auto refusing = std::make_shared<FakeProperty>("Locked", false);
    properties.addProperty(accepting);
    properties.addProperty(refusing);

    EXPECT_FALSE(properties.getProperty("name"));
    EXPECT_FALSE(properties.getProperty("Missing", nullptr));
    auto parameters = std::make_shared<ParametersCollection>();
    EXPECT_EQ(accepting, properties.getProperty("Name", parameters));
    EXPECT_EQ(parameters, accepting->seen);
    // An empty collection is passed on unchanged.
    EXPECT_EQ(accepting, properties.getProperty("Name", nullptr));
    EXPECT_FALSE(accepting->seen);
    EXPECT_EQ(refusing, properties.getProperty("Locked"));
    EXPECT_FALSE(properties.getProperty("Locked", parameters));
}

TEST(ReflectorTest, OverloadsAreKeptInOrderAndTheFirstAcceptingOneWins) {
    Methods methods;
    auto refusing = std::make_shared<FakeMethod>("run", false, "refusing");
    auto first = std::make_shared<FakeMethod>("run", true, "first");
    auto second = std::make_shared<FakeMethod>("run", true, "second");
    methods.addMethod(refusing);
    methods.addMethod(std::make_shared<FakeMethod>("alpha", true));
    methods.addMethod(first);
    methods.addMethod(second);

    EXPECT_EQ(4u, methods.size());
    EXPECT_EQ((std::vector<std::string>{"alpha", "run", "run", "run"}), methods.getMethodNames());
    EXPECT_EQ(refusing, methods.getMethod("run"));
    EXPECT_EQ((std::vector<std::shared_ptr<Method>>{refusing, first, second}),
              methods.getOverloads("run"));
    EXPECT_TRUE(methods.getOverloads("Run").empty());
    auto parameters = std::make_shared<ParametersCollection>();
    EXPECT_EQ(first, methods.getMethod("run", parameters));
    EXPECT_EQ(1, refusing->matchCalls);
    EXPECT_EQ(0, second->matchCalls);
    EXPECT_EQ(parameters, first->seen);
}

TEST(ReflectorTest, MethodLookupFailuresGiveEmptyPointers) {
    Methods methods;
    methods.addMethod(std::make_shared<FakeMethod>("Run", false));
    // No overload accepts, yet the name exists: the interpreter tells these apart.
    EXPECT_FALSE(methods.getMethod("Run", nullptr));
    EXPECT_TRUE(methods.getMethod("Run"));
    EXPECT_FALSE(methods.getMethod("run"));
    EXPECT_FALSE(methods.getMethod("run", nullptr));
    EXPECT_FALSE(methods.getMethod("Ru"));
    EXPECT_FALSE(methods.getMethod("Runs"));
}

TEST(ReflectorTest, ParametersCollectionAtIsBoundedAndCopiesShareOneList) {
    ParametersCollection collection;
    EXPECT_THROW(collection.at(0), std::out_of_range);
    auto parameter = std::make_shared<ActualParameter<int>>("int", "x", 1);
    collection.push_back(parameter);
    ParametersCollection copy = collection;
    copy.push_back(std::make_shared<ActualParameter<int>>("int", "y", 2));

    EXPECT_EQ(2, collection.size());
    EXPECT_EQ(parameter, collection.at(0));
    EXPECT_EQ("y", collection.at(1)->getParameterName());
    for (int index : {-1, 2, -2147483647 - 1}) {
        EXPECT_THROW(collection.at(index), std::out_of_range) << index;
    }
}

TEST(ReflectorTest, ParametersCollectionGrowsInOrderAndIndexingGivesTheStoredPointer) {
    ParametersCollection collection;
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
}

class FakeList : public ListProperty {
  public:
    FakeList() : ListProperty("list(int)", "Items", false, true) {}
    std::shared_ptr<ReturnValue> getValue() override { return nullptr; }
    bool matchesParameters(std::shared_ptr<ParametersCollection>) override { return false; }
    std::shared_ptr<VoidReturnValue> setValue(std::shared_ptr<ParametersCollection>) override {
        return nullptr;
    }
    std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(bool, int, int)>) override {
        return {};
    }
};

class FakeMutableList : public MutableListProperty {
  public:
    FakeMutableList() : MutableListProperty("list(Contact)", "Contacts", true, false) {}
    std::shared_ptr<ReturnValue> getValue() override { return nullptr; }
    bool matchesParameters(std::shared_ptr<ParametersCollection>) override { return false; }
    std::shared_ptr<VoidReturnValue> setValue(std::shared_ptr<ParametersCollection>) override {
        return nullptr;
    }
    std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(bool, int, int, int)>) override {
        return {};
    }
};

TEST(ReflectorTest, PropertyKindsAnswerTheirFieldsAndListFlag) {
    FakeList list;
    FakeMutableList mutableList;
    EXPECT_TRUE(list.isList());
    EXPECT_FALSE(mutableList.isList());
    EXPECT_FALSE(FakeProperty("p", true).isList());
    EXPECT_EQ("list(int)", list.getType());
    EXPECT_EQ("Items", list.getPropertyName());
    EXPECT_FALSE(list.isReadOnly());
    EXPECT_TRUE(list.isPrimitive());
    EXPECT_TRUE(mutableList.isReadOnly());
    EXPECT_FALSE(mutableList.isPrimitive());

    FakeMethod method("Add", true);
    EXPECT_EQ("void", method.getReturnType());
    EXPECT_EQ("", method.getParameters());
    EXPECT_EQ("Add", method.getMethodName());
}

class Connection : public PropertyNotifierConnection {
  public:
    void disconnect() override {}
};

// Keeps the connected functions so the test can fire them.
class RecordingNotifier : public PropertyNotifier {
  public:
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) override {
        callbacks.push_back(std::move(callback));
        return connection;
    }
    std::vector<std::function<void()>> callbacks;
    std::shared_ptr<Connection> connection = std::make_shared<Connection>();
};

class FakeNonList : public NonListProperty {
  public:
    explicit FakeNonList(std::shared_ptr<PropertyNotifier> notifier)
        : NonListProperty("string", "Name", false, true, std::move(notifier)) {}
    std::shared_ptr<ReturnValue> getValue() override { return nullptr; }
    bool matchesParameters(std::shared_ptr<ParametersCollection>) override { return true; }
    std::shared_ptr<VoidReturnValue> setValue(std::shared_ptr<ParametersCollection>) override {
        return nullptr;
    }
};

TEST(ReflectorTest, NonListSubscribeConnectsAWrapperAndReturnsTheConnection) {
    auto notifier = std::make_shared<RecordingNotifier>();
    FakeNonList property(notifier);
    int calls = 0;
    std::weak_ptr<PropertyNotifierConnection> connection = property.subscribe([&] { ++calls; });

    EXPECT_EQ(notifier->connection, connection.lock());
    ASSERT_EQ(1u, notifier->callbacks.size());
    notifier->callbacks[0]();
    notifier->callbacks[0]();
    EXPECT_EQ(2, calls);
}

TEST(ReflectorTest, NonListSubscribeNegativeCases) {
    // No notifier: nothing to connect to, and no crash.
    EXPECT_TRUE(FakeNonList(nullptr).subscribe([] {}).expired());

    // An empty callback is connected, but firing it must not throw on the notifying thread.
    auto notifier = std::make_shared<RecordingNotifier>();
    FakeNonList property(notifier);
    property.subscribe(std::function<void()>());
    ASSERT_EQ(1u, notifier->callbacks.size());
    EXPECT_NO_THROW(notifier->callbacks[0]());
}

}  // namespace
