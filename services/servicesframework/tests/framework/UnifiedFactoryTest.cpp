#include <ZAMUnified/UnifiedFactory.h>

#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/FeatureSetBase.h>
#include <ZAMUnified/GetFactory.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/TypeMap.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/ForeignServiceFactory.h"
#include "support/LogCapture.h"
#include "support/LogLines.h"
#include "support/PluginFolder.h"

// The unified factory, the process-wide service factory that hosts reach through GetFactory, and
// the resource monitor the factory keeps.
namespace {

using namespace ZAMUnified;
using namespace ZAMUnified::ResourceNS;

const char* const kPath = "services/servicesframework/src/framework/UnifiedFactory";

class PlainFeatureSet : public FeatureSet {};

// Provisioned for the ids it is given; counts Destroy() and remembers the events handed in.
class FakeFeatureSet : public FeatureSetBase {
  public:
    using FeatureSetBase::FeatureSetBase;
    void StartFeatureSet(unsigned int id, EventsPtr events) override {
        FeatureSetBase::StartFeatureSet(id, lastEvents = events);
    }
    void StopFeatureSet(unsigned int id, EventsPtr events) override {
        FeatureSetBase::StopFeatureSet(id, lastEvents = events);
    }
    void Destroy() override { ++destroys; }
    std::vector<unsigned int> GetFeatureSetDependencies(unsigned int id) override {
        return {id + 1, id + 2};
    }

    EventsPtr lastEvents;
    int destroys = 0;
};

class FakeAuthenticator : public Authenticator {};

class UnifiedFactoryTest : public ::testing::Test {
  protected:
    void SetUp() override { factory_->Init(); }
    // Breaks the factory's cycles with its loader and monitor.
    void TearDown() override { factory_->Reset(); }

    // The records so far, one line each (see logLines), all from the factory's source.
    std::vector<std::string> lines() { return sftest::logLines(log_.records(), kPath); }

    sftest::LogCapture log_{{"unified-factory", "library-loader"}};
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
};

TEST(TypeMapTest, AddsUnderBothKeysCastsCheckedAndClears) {
    TypeMap<FeatureSet> map;
    auto adapter = std::make_shared<FakeFeatureSet>();
    map.addItem("N10ZAMUnified4FakeE", 4, adapter);
    map.addItem("N10ZAMUnified5PlainE", 5, std::make_shared<PlainFeatureSet>());
    EXPECT_EQ(adapter.get(), map.getItem<FeatureSetAdapter>("N10ZAMUnified4FakeE").get());
    EXPECT_EQ(adapter.get(), map.getItem<FeatureSetAdapter>(4).get());
    EXPECT_FALSE(map.getItem<FeatureSetAdapter>(5)) << "not an adapter";
    EXPECT_TRUE(map.getItem<FeatureSet>(5));
    EXPECT_FALSE(map.getItem<FeatureSet>("N10ZAMUnified4PlainE"));
    EXPECT_FALSE(map.getItem<FeatureSet>(6));
    ASSERT_EQ(2u, map.itemsByName().size());
    EXPECT_EQ("N10ZAMUnified4FakeE", map.itemsByName().front().first);
    map.clear();
    EXPECT_FALSE(map.getItem<FeatureSet>(4));
    EXPECT_FALSE(map.getItem<FeatureSet>("N10ZAMUnified4FakeE"));
    EXPECT_EQ(1, adapter.use_count());
}

TEST_F(UnifiedFactoryTest, InitAndResetLifecycle_NEGATIVE) {
    auto fresh = std::make_shared<UnifiedFactory>();
    EXPECT_FALSE(fresh->getLibraryLoader());
    EXPECT_TRUE(fresh->getServicesDispatcher()->checkForUpdateAccess());

    log_.forget();
    fresh->Init();
    const auto loader = fresh->getLibraryLoader();
    ASSERT_TRUE(loader);
    EXPECT_TRUE(fresh->getResourceMonitor());
    fresh->Init();
    EXPECT_EQ(loader, fresh->getLibraryLoader()) << "a second Init() creates nothing";
    EXPECT_EQ(std::vector<std::string>(
                  {"I Init: Initializing",
                   "I LoadManifests: Commencing Services Framework Library Loading",
                   "I LoadManifests: Completed Services Framework Library Loading",
                   "I Init: Initialized", "I Init: Initializing", "I Init: Initialized"}),
              sftest::logLines(log_.records()));

    auto persistor = std::make_shared<IDataPersistor>();
    fresh->setDataPersistor(persistor);
    fresh->setAuthenticator(9, std::make_shared<FakeAuthenticator>());
    const auto dispatcher = fresh->getServicesDispatcher();
    dispatcher->enqueue([] {}, "queued", false, true);
    log_.forget();
    fresh->Reset();
    EXPECT_EQ(std::vector<std::string>({"Resetting", "Reset complete"}),
              log_.messages(ZAMLOG_LEVEL_INFO));
    EXPECT_FALSE(fresh->getLibraryLoader());
    EXPECT_FALSE(fresh->getResourceMonitor());
    EXPECT_EQ(0, dispatcher->getQueueSize());
    EXPECT_EQ(dispatcher, fresh->getServicesDispatcher()) << "the dispatchers survive";
    EXPECT_EQ(persistor, fresh->getDataPersistor());
    EXPECT_EQ(1, loader.use_count()) << "the factory let the old loader go";

    fresh->Init();
    EXPECT_TRUE(fresh->getLibraryLoader());
    EXPECT_NE(loader, fresh->getLibraryLoader());
    EXPECT_EQ("9", fresh->getAuthenticatorName(9)) << "tables were emptied";
    fresh->Reset();

    UnifiedFactory unowned;  // Init() needs a shared owner
    EXPECT_THROW(unowned.Init(), std::bad_weak_ptr);
    EXPECT_FALSE(unowned.getLibraryLoader());
    EXPECT_FALSE(unowned.getResourceMonitor());
}

// Between Reset() and Init() there is no loader: a load request reports and returns.
TEST_F(UnifiedFactoryTest, NEGATIVE_LoadWithoutLoaderLogsAndReturns) {
    factory_->Reset();
    log_.forget();
    EXPECT_FALSE(factory_->getService("N10ZAMUnified13SystemServiceE"));
    EXPECT_FALSE(factory_->getService(1000u));
    EXPECT_FALSE(factory_->getAuthenticator(1000));
    EXPECT_FALSE(factory_->getLibraryRecord(1000));
    factory_->loadFeatureSet("N10ZAMUnified16ConfigFeatureSetE");
    factory_->loadAuthenticator("TALON");
    const std::string notInitialized = ": the factory is not initialized";
    EXPECT_EQ(
        std::vector<std::string>(
            {"E loadService: Cannot load N10ZAMUnified13SystemServiceE" + notInitialized,
             "E loadService: Cannot load 1000" + notInitialized,
             "E loadAuthenticator: Cannot load 1000" + notInitialized,
             "E loadFeatureSet: Cannot load N10ZAMUnified16ConfigFeatureSetE" + notInitialized,
             "E loadAuthenticator: Cannot load TALON" + notInitialized}),
        lines());
}

TEST_F(UnifiedFactoryTest, AuthenticatorNamesDisplayNamesAndIds) {
    auto alpha = std::make_shared<FakeAuthenticator>();
    factory_->setAuthenticator(5000, "TALON", "Talon Sign-In", alpha);
    factory_->setAuthenticator(5001, std::make_shared<FakeAuthenticator>());
    factory_->setAuthenticator(0xFFFFFFFFu, std::make_shared<FakeAuthenticator>());
    factory_->setAuthenticatorDisplayName(5001, "Five Thousand One");
    EXPECT_EQ(alpha, factory_->getAuthenticator(5000));
    EXPECT_EQ("TALON", factory_->getAuthenticatorName(5000));
    EXPECT_EQ("Talon Sign-In", factory_->getAuthenticatorDisplayName(5000));
    EXPECT_EQ("5001", factory_->getAuthenticatorName(5001));
    EXPECT_EQ("Five Thousand One", factory_->getAuthenticatorDisplayName(5001));
    EXPECT_EQ("-1", factory_->getAuthenticatorName(0xFFFFFFFFu)) << "read as signed";
    factory_->setAuthenticatorName(5001, "Renamed");
    EXPECT_EQ("Renamed", factory_->getAuthenticatorName(5001));
    EXPECT_EQ(5001u, factory_->getAuthenticatorId("rEnAmEd"));
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_ERROR).empty()) << "no load for known ids";

    // Nothing provides 4321: one load attempt, then its text is kept as the name.
    EXPECT_FALSE(factory_->getAuthenticator(4321));
    EXPECT_EQ("4321", factory_->getAuthenticatorName(4321));
    EXPECT_EQ("4321", factory_->getAuthenticatorName(4321));
    EXPECT_EQ("4321", factory_->getAuthenticatorDisplayName(4321));
    EXPECT_EQ(std::vector<std::string>(3, "Unable to find authenticator matching the ID: 4321"),
              log_.messages(ZAMLOG_LEVEL_ERROR))
        << "getAuthenticator, the first getAuthenticatorName and getAuthenticatorDisplayName";

    // Ids by name are found case-blind, with defaults.
    log_.forget();
    EXPECT_EQ(5000u, factory_->getAuthenticatorId("talon"));
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_WARNING).empty());

    const std::pair<std::string, unsigned int> fallbacks[] = {
        {"1234", 1234u}, {"nothing", 0u}, {"gAtHeR", 3000u}, {"lumio", 1201u}};
    for (const auto& [name, id] : fallbacks) {
        log_.forget();
        EXPECT_EQ(id, factory_->getAuthenticatorId(name)) << name;
        EXPECT_EQ(
            std::vector<std::string>(
                {"E LoadAuthenticator: Unable to find authenticator matching the name: " + name,
                 "W getAuthenticatorId: No AuthenticatorId found for " + name +
                     " from authenticator names map, use default"}),
            sftest::logLines(log_.records()));
    }

    const std::pair<unsigned int, std::string> table[] = {
        {1000, "TALON"},  {1001, "PYLON"}, {1200, "HERON"},  {1201, "Lumio"},   {1404, "Quillbox"},
        {1500, "ROSTER"}, {1800, "PRISM"}, {1877, "Bazaar"}, {2000, "CONFLUX"}, {2100, "KESTREL"}};
    for (const auto& [id, name] : table) {
        EXPECT_EQ(name, factory_->getDefaultAuthenticatorName(id));
        EXPECT_EQ(id, factory_->getDefaultAuthenticatorId(name));
    }
    EXPECT_EQ("3000", factory_->getDefaultAuthenticatorName(3000));
    EXPECT_EQ(3000u, factory_->getDefaultAuthenticatorId("GATHER"));
    EXPECT_EQ("4294967295", factory_->getDefaultAuthenticatorName(0xFFFFFFFFu));
    EXPECT_EQ(0u, factory_->getDefaultAuthenticatorId("12abc"));
}

// Injection writes the tables on the dispatcher thread while getters add default names on others.
TEST_F(UnifiedFactoryTest, AuthenticatorTablesTolerateConcurrentWriters) {
    log_.setLevel(ZAMLOG_LEVEL_WARNING - 2);  // keeps the readers' miss records out of the way
    std::atomic<bool> stop{false};
    std::thread reader([this, &stop] {
        for (unsigned int id = 1; !stop; ++id) {
            factory_->getAuthenticatorName(100000 + id % 50);
            factory_->getAuthenticatorDisplayName(100000 + id % 50);
            factory_->getAuthenticatorId("writer");
        }
    });
    for (unsigned int id = 0; id < 300; ++id) {
        factory_->setAuthenticator(200000 + id, "writer", "Writer",
                                   std::make_shared<FakeAuthenticator>());
        factory_->setAuthenticatorName(100000 + id % 50, "N" + std::to_string(id));
    }
    stop = true;
    reader.join();
    EXPECT_EQ(200000u, factory_->getAuthenticatorId("WRITER"));
}

// One adapter under two keys (provisioned for 7 only) and a feature set that is no adapter.
TEST_F(UnifiedFactoryTest, FeatureSetsAreControlledThroughTheirAdapters_NEGATIVE) {
    auto fake = std::make_shared<FakeFeatureSet>(std::vector<unsigned int>{7});
    auto plain = std::make_shared<PlainFeatureSet>();
    auto events = std::make_shared<std::vector<std::shared_ptr<ServiceEvent>>>();
    factory_->getFeatureSetRegistry()->addItem("N10ZAMUnified4FakeE", 7, fake);
    factory_->getFeatureSetRegistry()->addItem("N10ZAMUnified5AliasE", 8, fake);
    factory_->getFeatureSetRegistry()->addItem("N10ZAMUnified5PlainE", 9, plain);
    log_.forget();
    EXPECT_EQ(fake.get(), factory_->getFeatureSetAdapter(8).get());
    factory_->StopFeatureSet(7, events);
    EXPECT_FALSE(factory_->IsFeatureSetStarted(7));
    factory_->StartFeatureSet(7, events);
    EXPECT_TRUE(factory_->IsFeatureSetStarted(7));
    EXPECT_EQ(events, fake->lastEvents) << "the caller's list, unchanged";
    EXPECT_TRUE(events->empty());
    factory_->StopFeatureSet(7, nullptr);
    EXPECT_FALSE(factory_->IsFeatureSetStarted(7));
    EXPECT_FALSE(fake->lastEvents);
    EXPECT_TRUE(factory_->IsFeatureSetProvisioned(7));
    EXPECT_FALSE(factory_->IsFeatureSetProvisioned(8));
    EXPECT_EQ(std::vector<unsigned int>({8, 9}), factory_->GetFeatureSetDependencies(7));
    EXPECT_TRUE(factory_->GetFeatureSetDependencies(8).empty()) << "not provisioned";

    EXPECT_EQ(std::vector<std::string>(
                  {"E StopFeatureSet: Cannot Stop Feature Set 7 on provider as its not started",
                   "I StartFeatureSet: Starting Feature Set 7 on provider",
                   "I StopFeatureSet: Stopping Feature Set 7 on provider"}),
              lines());

    factory_->StartFeatureSet(8, events);
    factory_->StopFeatureSet(8, events);
    factory_->StartFeatureSet(9, events);  // registered, but not an adapter
    EXPECT_FALSE(fake->lastEvents) << "the adapter was never asked";
    log_.forget();
    factory_->StartFeatureSet(4242, events);
    factory_->StopFeatureSet(4242, events);
    EXPECT_FALSE(factory_->IsFeatureSetStarted(4242));
    EXPECT_TRUE(factory_->GetFeatureSetDependencies(4242).empty());
    const std::string unknown = "Unable to find feature set matching the ID: 4242";
    EXPECT_EQ(
        (std::vector<std::string>{
            unknown, "Cannot Start Feature Set 4242 on provider as its not provisioned", unknown,
            "Cannot Stop Feature 4242 on provider as its not provisioned", unknown, unknown}),
        log_.messages(ZAMLOG_LEVEL_ERROR));

    // Destroy() reaches each adapter once, Reset() empties.
    log_.forget();
    factory_->Destroy();
    EXPECT_EQ(1, fake->destroys);
    EXPECT_EQ(fake.get(), factory_->getFeatureSetAdapter(7).get()) << "Destroy() keeps items";
    factory_->Reset();
    EXPECT_EQ(2, fake->destroys);
    EXPECT_EQ(1, fake.use_count());
    EXPECT_EQ(1, plain.use_count());
    EXPECT_TRUE(log_.messages(ZAMLOG_LEVEL_ERROR).empty());
}

// The service factory hosts hold.

TEST(ServiceFactoryTest, GetFactoryAnswersTheOneFactoryAndItsName) {
    const wchar_t* names[2] = {};
    ServiceFactory* factories[2] = {};
    GetFactory(&names[0], &factories[0]);
    GetFactory(&names[1], &factories[1]);
    ServiceFactory* const factory = factories[0];
    ASSERT_NE(nullptr, factory);
    EXPECT_EQ(factory, factories[1]);
    EXPECT_EQ(names[0], names[1]);
    EXPECT_EQ(std::wstring(L"VelmarServiceFactory"), names[0]);
    EXPECT_EQ(factory, ServiceFactory::getInstance().get());
    EXPECT_NE(nullptr, dynamic_cast<ServiceFactoryImpl*>(factory));

    // The process-wide factory drives a real unified factory; leave it reset for the next test.
    auto impl = std::dynamic_pointer_cast<ServiceFactoryImpl>(ServiceFactory::getInstance());
    EXPECT_FALSE(factory->getService(4242u));
    EXPECT_FALSE(factory->getService("N10ZAMUnified7NothingE"));
    const auto unified = impl->getUnifiedFactory();
    factory->reset();
    EXPECT_EQ(unified, impl->getUnifiedFactory()) << "reset() works in place";
    EXPECT_TRUE(unified->getLibraryLoader());
    impl->resetForTest();
}

TEST(ServiceFactoryTest, ResetOnAFreshFactoryCreatesNothing) {
    sftest::LogCapture log({"unified-factory"});
    auto factory = std::make_shared<ServiceFactoryImpl>();
    factory->reset();
    EXPECT_TRUE(log.records().empty());
    const auto unified = factory->getUnifiedFactory();
    ASSERT_TRUE(unified);
    EXPECT_TRUE(unified->getLibraryLoader()) << "created and initialised";
    EXPECT_EQ(1, log.count("Initializing"));
    EXPECT_TRUE(unified->getServicesDispatcher()->checkForUpdateAccess());

    // Forwarding reaches the unified factory's dispatcher.
    int ran = 0;
    unified->getServicesDispatcher()->enqueue([&ran] { ++ran; }, "one", false, true);
    unified->getServicesDispatcher()->enqueue([&ran] { ++ran; }, "two", false, true);
    factory->pumpNextDispatcherTask();
    EXPECT_EQ(1, ran);
    factory->waitForDispatcherTask(0);
    factory->pumpAllDispatcherTasks();
    EXPECT_EQ(2, ran);
    std::thread([&] { factory->resetDispatcherThread(); }).join();
    EXPECT_FALSE(unified->getServicesDispatcher()->checkForUpdateAccess()) << "handed over";
    factory->resetDispatcherThread();
    unified->Reset();  // breaks the cycles with the loader and monitor
}

// Two threads making the very first call at once get one unified factory, initialised once.
TEST(ServiceFactoryTest, ConcurrentFirstUseCreatesOneUnifiedFactory) {
    sftest::LogCapture log({"unified-factory"});
    for (int round = 0; round < 20; ++round) {
        auto factory = std::make_shared<ServiceFactoryImpl>();
        zam::Event go(false);
        std::shared_ptr<UnifiedFactory> seen[2];
        std::vector<std::thread> users;
        for (std::shared_ptr<UnifiedFactory>& slot : seen) {
            users.emplace_back([&] {
                go.wait();
                slot = factory->getUnifiedFactory();
            });
        }
        go.set();
        users[0].join();
        users[1].join();
        ASSERT_TRUE(seen[0]);
        EXPECT_EQ(seen[0], seen[1]);
        seen[0]->Reset();
    }
    EXPECT_EQ(20, log.count("Initializing"));
    EXPECT_EQ(20, log.count("Initialized"));
}

// A host reaches the loader through the service factory it holds, and adds manifests there.
TEST(ServiceFactoryTest, AHostAddsAManifestThroughTheServiceFactory) {
    sftest::LogCapture log({"library-loader"});
    auto factory = std::make_shared<ServiceFactoryImpl>();
    ServiceFactory& host = *factory;
    ASSERT_EQ(factory->getUnifiedFactory(), host.getUnifiedFactory());
    ASSERT_EQ(factory->getUnifiedFactory()->getLibraryLoader(), host.getLibraryLoader());

    const sftest::PluginFolder folder;
    const std::string alpha =
        folder.add("alpha",
                   "<library><name>TestServices</name><path>TestServices</path><services>"
                   "<service name='ZAMUnified::TestAlphaService' id='7001'/></services></library>",
                   SF_TEST_PLUGIN_DIR "/libTestServices.so", "TestServices");
    EXPECT_FALSE(host.addLibraryManifest((folder.root() / "missing").string()));
    EXPECT_TRUE(host.addLibraryManifest(alpha));
    EXPECT_TRUE(host.getService(7001u));
    EXPECT_EQ("TestServices", host.getLibraryLoader()->getLibraryRecords().back().name);
    // Breaks the cycle between the factory and its loader, which reset() would build again.
    host.getUnifiedFactory()->Reset();

    // Any other implementation of the interface has no unified factory to reach.
    sftest::ForeignServiceFactory other;
    EXPECT_FALSE(other.getUnifiedFactory());
    EXPECT_FALSE(other.getLibraryLoader());
    EXPECT_FALSE(other.addLibraryManifest(alpha));
}

// The resource monitor.

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
