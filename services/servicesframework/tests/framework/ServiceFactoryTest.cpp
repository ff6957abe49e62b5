#include <ZAMUnified/ServiceFactoryImpl.h>

#include <ZAMUnified/GetFactory.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ServiceFactoryWrapper.h>
#include <zam/Event.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/ForeignServiceFactory.h"
#include "support/LogCapture.h"
#include "support/PluginFolder.h"

namespace {

using namespace ZAMUnified;

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

}  // namespace
