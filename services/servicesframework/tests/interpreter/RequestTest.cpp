#include <ZAMUnified/Request.h>

#include "interpreter/InterpreterFakes.h"

#include <gtest/gtest.h>

namespace {

using namespace interpreter_test;
using Names = std::vector<std::string>;

// Every piece is a name, empty ones included; consuming them leaves the path and the last name
// alone, and an exhausted request answers the empty name for ever.
TEST(RequestTest, PathSplitsIntoEveryPieceWhichAreConsumedInOrder) {
    const std::string longName(40, 'n');
    // clang-format off
    const struct { std::string path; Names names; std::string last; } cases[] = {
        {"Svc", {"Svc"}, "Svc"}, {"Svc/getOwner/Name", {"Svc", "getOwner", "Name"}, "Name"},
        {"Svc/a//b", {"Svc", "a", "", "b"}, "b"}, {"Svc/a/", {"Svc", "a", ""}, ""}, {"", {}, ""},
        {"/", {"", ""}, ""}, {"/" + longName + "/", {"", longName, ""}, ""},
        {"a/" + longName, {"a", longName}, longName},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Request request(c.path);
        EXPECT_EQ(c.names, request.getMethodNames());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(c.names[i], request.getNextMethod()) << i;
            EXPECT_EQ(Names(c.names.begin() + i + 1, c.names.end()), request.getMethodNames());
        }
        EXPECT_EQ((Names{"", "", c.last, c.path}),
                  (Names{request.getNextMethod(), request.getNextMethod(), request.getLastMethod(),
                         request.getExecutionPath()}));
    }
}

TEST(RequestTest, EveryNameKeepsItsOwnCollectionAndTheFirstOneForItWins) {
    Request request("Svc/a/b/c");
    // Empty pointers are ignored.
    request.addParameterToMethod("c", nullptr);
    request.addParameterCollectionToMethod("c", nullptr);
    EXPECT_FALSE(request.getParameterCollectionByMethod("c"));

    auto forA = collectionOf({intArg(1)});
    auto forB = collectionOf({intArg(2)});
    auto forEmpty = collectionOf({intArg(3)});
    request.addParameterCollectionToMethod("a", forA);
    request.addParameterCollectionToMethod("b", forB);
    request.addParameterCollectionToMethod("", forEmpty);
    request.addParameterCollectionToMethod("b", collectionOf({}));
    request.addParameterCollectionToMethod("a", collectionOf({}));
    request.addParameterToMethod("c", intArg(4));
    request.addParameterToMethod("c", intArg(5));
    // Shared with the caller: a parameter added later joins the caller's collection.
    request.addParameterToMethod("b", intArg(6));

    EXPECT_EQ(forA, request.getParameterCollectionByMethod("a"));
    EXPECT_EQ(forB, request.getParameterCollectionByMethod("b"));
    EXPECT_EQ(forEmpty, request.getParameterCollectionByMethod(""));
    // Sizes by name, -1 for none: names are compared exactly.
    std::vector<int> sizes;
    for (const char* name : {"a", "b", "c", "Svc", "A"}) {
        auto collection = request.getParameterCollectionByMethod(name);
        sizes.push_back(collection ? collection->size() : -1);
    }
    EXPECT_EQ((std::vector<int>{1, 2, 2, -1, -1}), sizes);

    // A copy shares the collections and consumes its names on its own.
    request.getNextMethod();
    Request copy = request;
    EXPECT_EQ("a", copy.getNextMethod());
    EXPECT_EQ((Names{"a", "b", "c"}), request.getMethodNames());
    EXPECT_EQ(forB, copy.getParameterCollectionByMethod("b"));
}

}  // namespace
