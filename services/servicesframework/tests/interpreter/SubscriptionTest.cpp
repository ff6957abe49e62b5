#include <ZAMUnified/Subscription.h>

#include "interpreter/InterpreterFakes.h"

#include <gtest/gtest.h>

namespace {

using namespace interpreter_test;

// What the callbacks heard: one line per notification, and the last fetcher.
struct Heard {
    std::vector<std::string> lines;
    PropertyValueFetcher fetcher;
};

// A subscription whose callbacks each note their kind, the label and the list details.
std::shared_ptr<Subscription> subscriptionFor(const std::string& path,
                                              const std::shared_ptr<Heard>& heard) {
    auto hear = [heard](std::string kind) {
        return [heard, kind](std::string id, PropertyValueFetcher fetch, auto... details) {
            std::string line = kind + " " + id;
            ((line += " " + std::to_string(details)), ...);
            heard->lines.push_back(line);
            heard->fetcher = fetch;
        };
    };
    return std::make_shared<Subscription>(path, "id", hear("nonList"), hear("basicList"),
                                          hear("objectList"), hear("mutableList"));
}

// Each kind is connected through its own callback, which hears the label, a fetcher and the list
// details unchanged; the object-list callback is never connected.
TEST(SubscriptionTest, EachKindIsConnectedThroughItsOwnCallback) {
    World world;
    auto heard = std::make_shared<Heard>();
    std::vector<std::shared_ptr<PropertyNotifierConnection>> connections;
    for (const char* path : {"Svc/getCount", "Svc/Items", "Svc/setCells"}) {
        auto result = world.interpreter.subscribe(subscriptionFor(path, heard));
        EXPECT_TRUE(result->isSuccess()) << result->getErrorMessage();
        connections.push_back(result->getResult().lock());
    }
    EXPECT_TRUE(heard->lines.empty());

    world.notifier->notify();
    world.items->changes.notify(true, 1, 2);
    world.cells->changes.notify(false, 3, 4, 5);
    EXPECT_EQ(
        (std::vector<std::string>{"nonList id", "basicList id 1 1 2", "mutableList id 0 3 4 5"}),
        heard->lines);
    EXPECT_EQ("list(object):cells", describe(heard->fetcher()));
    // Subscribing ran no step and read nothing.
    EXPECT_EQ(0, world.count->reads);

    // The results are the notifiers' own connections.
    for (const auto& connection : connections) {
        connection->disconnect();
    }
    EXPECT_EQ((std::vector<std::size_t>{0, 0, 0}), world.connections());
}

TEST(SubscriptionTest, FetcherReadsOnEveryCallAndKeepsThePropertyAlive) {
    auto heard = std::make_shared<Heard>();
    std::weak_ptr<Property> watched;
    std::shared_ptr<ChangeNotifier> notifier;
    {
        World world;
        auto subscription = subscriptionFor("Svc/Count", heard);
        ASSERT_TRUE(world.interpreter.subscribe(subscription)->isSuccess());
        // Later changes of the subscription do not reach the connection.
        subscription->setNonListPropertyCallback(nullptr);
        watched = world.count;
        notifier = world.notifier;
        world.notifier = std::make_shared<ChangeNotifier>();  // keep the connection past World
    }
    ASSERT_FALSE(watched.expired());
    notifier->notify();
    ASSERT_TRUE(heard->fetcher);
    EXPECT_EQ("int:1", describe(heard->fetcher()));
    EXPECT_EQ("int:2", describe(heard->fetcher()));
    heard->fetcher = nullptr;
    notifier->disconnectAll();
    EXPECT_TRUE(watched.expired());
}

TEST(SubscriptionTest, WalkFailuresAndTheirMessages) {
    const std::string notSubscribable =
        "\" because this property could not be found by Reflection.";
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"Svc", "Method or Property is empty."},
        {"Nope/Count", noService("Nope")},
        {"UnifiedBusinessObject/Count", noService("UnifiedBusinessObject")},
        {"Svc/Missing/Name", noMember("Missing")},
        // The step just executed is named, not the following one.
        {"Svc/Nothing/Name", "Method or Property \"Nothing" + kNoValue},
        {"Svc/Text/Name", noReflector("Name")},
        {"Svc/getX", "Cannot subscribe Property \"getX" + notSubscribable},
        {"Svc/add", "Cannot subscribe Property \"add" + notSubscribable},
        {"Svc/Odd",
         "The type of Property that we attempted to subscribe to is not a NonListProperty or "
         "ListProperty so subscription is not possible."},
    };
    for (const auto& c : cases) {
        World world;
        auto result = world.interpreter.subscribe(subscriptionFor(c.path, nullptr));
        EXPECT_FALSE(result->isSuccess()) << c.path;
        EXPECT_EQ(c.message, result->getErrorMessage()) << c.path;
        EXPECT_TRUE(result->getResult().expired()) << c.path;
    }
}

TEST(SubscriptionTest, WalkRunsStepsThroughObjectsAndStopsAtTheFirstLastName) {
    World world;
    auto heard = std::make_shared<Heard>();
    ASSERT_TRUE(world.interpreter.subscribe(subscriptionFor("Svc/owner/Name", heard))->isSuccess());
    EXPECT_EQ(1u, world.ownerNotifier->connectionCount());

    // The middle "Name" equals the last one, so the service's own Name is subscribed there.
    auto stopped = world.interpreter.subscribe(subscriptionFor("Svc/Name/Owner/Name", heard));
    EXPECT_EQ("", stopped->getErrorMessage());
    EXPECT_EQ(0, world.ownerProperty->reads);
    EXPECT_EQ(1u, world.ownerNotifier->connectionCount());

    EXPECT_THROW(world.interpreter.subscribe(subscriptionFor("Svc/fail/Name", heard)),
                 ServiceFault);
    EXPECT_EQ("Cannot attempt to subscribe to a Shared Pointer to a Null Property.",
              world.interpreter
                  .subscribeToPropertyUsingCorrectCallback(subscriptionFor("Svc/x", heard), nullptr)
                  ->getErrorMessage());
}

// An empty callback for the property's kind is refused before anything is connected, so no
// notifying thread ever calls an empty function.
TEST(SubscriptionTest, EmptyCallbackForThePropertysKindIsRefused) {
    World world;
    const struct {
        std::string path, property, kind;
    } cases[] = {
        {"Svc/Count", "Count", "non-list"},
        {"Svc/Items", "Items", "basic-list"},
        {"Svc/getCells", "Cells", "mutable-object-list"},
    };
    for (const auto& c : cases) {
        // Only the object-list callback is set, which never counts.
        auto subscription = std::make_shared<Subscription>(c.path, "id");
        subscription->setObjectListPropertyCallback(
            [](std::string, PropertyValueFetcher, bool, int, int) {});
        auto result = world.interpreter.subscribe(subscription);
        EXPECT_EQ("Cannot subscribe Property \"" + c.property + "\" because the subscription's " +
                      c.kind + " property callback is empty.",
                  result->getErrorMessage());
        EXPECT_TRUE(result->getResult().expired()) << c.path;
    }
    EXPECT_EQ((std::vector<std::size_t>{0, 0, 0}), world.connections());
}

}  // namespace
