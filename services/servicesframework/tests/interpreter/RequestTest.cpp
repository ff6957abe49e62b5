#include <ZAMUnified/Request.h>

#include <KORCoreUtils.h>

#include "interpreter/InterpreterFakes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace interpreter_test;
using Names = std::vector<std::string>;

TEST(RequestTest, PathSplitsIntoEveryPieceAndKeepsTheLastOne) {
    const struct {
        std::string path;
        Names names;
        std::string last;
    } cases[] = {
        {"Svc", {"Svc"}, "Svc"},
        {"Svc/getOwner/Name", {"Svc", "getOwner", "Name"}, "Name"},
        {"Svc/a//b", {"Svc", "a", "", "b"}, "b"},
        {"Svc/a/", {"Svc", "a", ""}, ""},
        {"", {}, ""},
    };
    for (const auto& c : cases) {
        Request request(c.path);
        EXPECT_EQ(c.path, request.getExecutionPath());
        EXPECT_EQ(c.names, request.getMethodNames()) << c.path;
        EXPECT_EQ(c.last, request.getLastMethod()) << c.path;
    }
}

TEST(RequestTest, GetNextMethodConsumesAndThenAnswersEmptyForever) {
    Request request("Svc/a//b");
    EXPECT_EQ("Svc", request.getNextMethod());
    EXPECT_EQ("a", request.getNextMethod());
    EXPECT_EQ((Names{"", "b"}), request.getMethodNames());
    EXPECT_EQ("", request.getNextMethod());
    EXPECT_EQ("b", request.getNextMethod());
    EXPECT_EQ("", request.getNextMethod());
    EXPECT_EQ("", request.getNextMethod());
    EXPECT_TRUE(request.getMethodNames().empty());
    EXPECT_EQ("b", request.getLastMethod());
    EXPECT_EQ("Svc/a//b", request.getExecutionPath());
}

TEST(RequestTest, ParametersJoinTheCollectionOfTheirNameAndEmptyPointersAreIgnored) {
    Request request("Svc/add");
    request.addParameterToMethod("add", nullptr);
    request.addParameterCollectionToMethod("add", nullptr);
    EXPECT_FALSE(request.getParameterCollectionByMethod("add"));

    request.addParameterToMethod("add", intArg(1));
    request.addParameterToMethod("add", intArg(2));
    auto collection = request.getParameterCollectionByMethod("add");
    ASSERT_TRUE(collection);
    EXPECT_EQ(2, collection->size());
    // Names are compared exactly.
    EXPECT_FALSE(request.getParameterCollectionByMethod("Add"));
}

TEST(RequestTest, FirstCollectionWinsAndIsSharedWithItsCaller) {
    Request request("Svc/Name");
    auto first = collectionOf({stringArg("a")});
    request.addParameterCollectionToMethod("Name", first);
    request.addParameterCollectionToMethod("Name", collectionOf({}));
    EXPECT_EQ(first, request.getParameterCollectionByMethod("Name"));

    request.addParameterToMethod("Name", stringArg("b"));
    EXPECT_EQ(2, first->size());
}

TEST(RequestTest, EveryNameKeepsItsOwnCollectionAndTheFirstOneForItWins) {
    Request request("Svc/a/b/c");
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
    request.addParameterToMethod("b", intArg(6));

    EXPECT_EQ(forA, request.getParameterCollectionByMethod("a"));
    EXPECT_EQ(forB, request.getParameterCollectionByMethod("b"));
    EXPECT_EQ(forEmpty, request.getParameterCollectionByMethod(""));
    EXPECT_EQ(1, forA->size());
    EXPECT_EQ(2, forB->size());
    auto forC = request.getParameterCollectionByMethod("c");
    ASSERT_TRUE(forC);
    EXPECT_EQ(2, forC->size());
    EXPECT_FALSE(request.getParameterCollectionByMethod("Svc"));
    EXPECT_FALSE(request.getParameterCollectionByMethod("A"));

    // A copy shares the collections and consumes its names on its own.
    request.getNextMethod();
    Request copy = request;
    EXPECT_EQ("a", copy.getNextMethod());
    EXPECT_EQ((Names{"a", "b", "c"}), request.getMethodNames());
    EXPECT_EQ(forB, copy.getParameterCollectionByMethod("b"));
}

TEST(RequestTest, LongNamesAndSeparatorsAtTheEdges) {
    const std::string longName(40, 'n');
    Request request("/" + longName + "/");
    EXPECT_EQ((Names{"", longName, ""}), request.getMethodNames());
    EXPECT_EQ("", request.getLastMethod());
    EXPECT_EQ("", request.getNextMethod());
    EXPECT_EQ(longName, request.getNextMethod());
    EXPECT_EQ("", request.getNextMethod());
    EXPECT_TRUE(request.getMethodNames().empty());

    Request single("/");
    EXPECT_EQ((Names{"", ""}), single.getMethodNames());
    Request doubled("a//b");
    EXPECT_EQ((Names{"a", "", "b"}), doubled.getMethodNames());
    EXPECT_EQ("a", doubled.getNextMethod());
    EXPECT_EQ((Names{"", "b"}), doubled.getMethodNames());
    EXPECT_EQ("b", doubled.getLastMethod());
    Request empty("");
    std::vector<std::string> pieces;
    KORCoreUtils::split("", pieces, "/");  // the platform decides what an empty path holds
    EXPECT_EQ(pieces, empty.getMethodNames());
    Request last("a/" + longName);
    EXPECT_EQ(longName, last.getLastMethod());
}

}  // namespace
