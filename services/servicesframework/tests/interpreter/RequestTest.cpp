#include <ZAMUnified/Request.h>

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

}  // namespace
