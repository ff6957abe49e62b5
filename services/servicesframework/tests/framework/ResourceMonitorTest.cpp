#include <ZAMUnified/ResourceMonitor.h>

#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ZAMUnified;
using namespace ZAMUnified::ResourceNS;

class ResourceMonitorTest : public ::testing::Test {
  protected:
    // Made on the test's thread, which thereby is the dispatcher thread.
    std::shared_ptr<UnifiedFactory> factory = std::make_shared<UnifiedFactory>();
    ResourceMonitor monitor{factory};
};

TEST_F(ResourceMonitorTest, LiveAndCreatedCountsPerNameAndUnknownTypes_NEGATIVE) {
    monitor.incrementObjectCount("A");
    monitor.incrementObjectCount("A");
    monitor.decrementObjectCount("A");
    monitor.decrementObjectCount("Ghost");  // never incremented: enters at 0, goes to -1
    monitor.incrementObjectCount("B");

    EXPECT_EQ(1, monitor.getNumObjectsByObjectName(ObjectsAlive, "A"));
    EXPECT_EQ(2, monitor.getNumObjectsByObjectName(ObjectsCreated, "A"));
    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(ObjectsAlive, "Ghost"));
    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(ObjectsCreated, "Ghost")) << "no entry";
    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(ObjectsAlive, "Unknown"));
    EXPECT_EQ(1, monitor.getNumObjects(ObjectsAlive));  // 1 + -1 + 1
    EXPECT_EQ(3, monitor.getNumObjects(ObjectsCreated));
    EXPECT_EQ("A: 1\nB: 1\nGhost: -1\n", monitor.buildString(ObjectsAlive));
    EXPECT_EQ("A: 2\nB: 1\n", monitor.buildString(ObjectsCreated));
    EXPECT_EQ("", monitor.buildString(SnapshotAlive));
    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(ObjectsAlive, "Unknown"))
        << "a query must not create an entry";

    const auto invalid = static_cast<MapCountType>(4);
    EXPECT_EQ(-2, monitor.getNumObjects(invalid));
    EXPECT_EQ(-2, monitor.getNumObjectsByObjectName(invalid, "A"));
    EXPECT_EQ("Invalid Option", monitor.buildString(invalid));
    EXPECT_EQ(-2, monitor.getNumObjects(static_cast<MapCountType>(-1)));
}

TEST_F(ResourceMonitorTest, SnapshotCountsOnlyInsideTheWindowAndKeepsItsFigures) {
    monitor.incrementObjectCount("A");
    monitor.startSnapshotCapture();
    monitor.decrementObjectCount("A");
    monitor.incrementObjectCount("B");
    monitor.endSnapshotCapture();
    monitor.incrementObjectCount("B");  // after the window: snapshot maps untouched

    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(SnapshotAlive, "A"));
    EXPECT_EQ(-1, monitor.getNumObjectsByObjectName(SnapshotCreated, "A")) << "absent";
    EXPECT_EQ(1, monitor.getNumObjectsByObjectName(SnapshotCreated, "B"));
    EXPECT_EQ("A: -1\nB: 1\n", monitor.buildString(SnapshotAlive));
    EXPECT_EQ("B: 1\n", monitor.buildString(SnapshotCreated));
    EXPECT_EQ(2, monitor.getNumObjectsByObjectName(ObjectsCreated, "B"));

    monitor.startSnapshotCapture();  // a new window starts empty
    EXPECT_EQ(0, monitor.getNumObjects(SnapshotAlive));
    EXPECT_EQ("", monitor.buildString(SnapshotCreated));
}

TEST_F(ResourceMonitorTest, NEGATIVE_QueriesOffTheDispatcherThreadAreRefused) {
    monitor.incrementObjectCount("A");
    std::string refusal;
    std::thread other([&] {
        monitor.incrementObjectCount("A");  // counting is allowed anywhere
        EXPECT_THROW(monitor.getNumObjects(ObjectsAlive), DispatcherAccessException);
        EXPECT_THROW(monitor.buildString(ObjectsAlive), DispatcherAccessException);
        try {
            monitor.getNumObjectsByObjectName(ObjectsAlive, "A");
        } catch (DispatcherAccessException& refused) {
            refusal = refused.getMessage();
        }
    });
    other.join();
    EXPECT_EQ("An illegal attempt to access  was made from a non dispatcher thread", refusal);
    EXPECT_EQ(2, monitor.getNumObjectsByObjectName(ObjectsAlive, "A"));
}

TEST_F(ResourceMonitorTest, ConcurrentCountingLosesNothing) {
    monitor.startSnapshotCapture();
    std::vector<std::thread> counters;
    for (int t = 0; t < 4; ++t) {
        counters.emplace_back([this, t] {
            const std::string name = "Object" + std::to_string(t % 2);
            for (int i = 0; i < 2000; ++i) {
                monitor.incrementObjectCount(name);
                if (i % 2 == 0) {
                    monitor.decrementObjectCount(name);
                }
            }
        });
    }
    for (auto& counter : counters) {
        counter.join();
    }
    EXPECT_EQ(8000, monitor.getNumObjects(ObjectsCreated));
    EXPECT_EQ(4000, monitor.getNumObjects(ObjectsAlive));
    EXPECT_EQ(2000, monitor.getNumObjectsByObjectName(SnapshotAlive, "Object1"));
}

TEST(ResourceMonitorSumTest, SumsAreAddedUpInSixtyFourBits) {
    const ResourceMonitor::CountMap counts = {{"a", INT_MAX}, {"b", 10}, {"c", INT_MAX}};
    EXPECT_EQ(2L * INT_MAX + 10, ResourceMonitor::getNumObjects(counts));
    std::string name = "b";
    EXPECT_EQ(10, ResourceMonitor::getNumObjectsByObjectName(counts, name));
}

}  // namespace
