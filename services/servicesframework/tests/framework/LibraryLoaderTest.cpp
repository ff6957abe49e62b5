#include <ZAMUnified/LibraryLoader.h>

#include <KORCoreUtils.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "framework/LibraryLoaderFixture.h"
#include "plugins/TestPluginProbe.h"
#include "support/Deadline.h"
#include "support/LogLines.h"
#include "support/OnThread.h"

// Loads on demand, their failures and statuses. Where the records come from (the built-in table
// and manifests) is LibraryManifestTest.cpp's.
namespace {

namespace fs = std::filesystem;

const char* const kAlpha = "N10ZAMUnified16TestAlphaServiceE";

// A probe of an open test plug-in; fails the test when the library is not open.
template <typename Function>
Function probe(const std::string& library, const char* symbol) {
    void* handle = dlopen(pluginFile(library).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    EXPECT_NE(nullptr, handle) << library << " is not open";
    return handle ? reinterpret_cast<Function>(dlsym(handle, symbol)) : nullptr;
}

int injections() {
    void* handle = dlopen(pluginFile("TestServices").c_str(), RTLD_LAZY | RTLD_NOLOAD);
    return handle ? reinterpret_cast<ProbeCount>(dlsym(handle, "TestServicesInjections"))() : 0;
}

// The records of a load of `library` that opens its file, up to the opening.
std::vector<std::string> opening(const std::shared_ptr<UnifiedFactory>& factory,
                                 const std::string& library) {
    std::ostringstream address;
    address << "Service Dispatcher: "
            << static_cast<const void*>(factory->getServicesDispatcher().get());
    return {address.str(), "Update access true", "Commencing Loading Services Library " + library};
}

// Built-in libraries are not in the build tree: each request finds its record, fails to open
// the file with the platform's text, and a later request tries again.
TEST_F(LibraryLoaderTest, NEGATIVE_SearchesAndMissingFiles) {
    // The library tried, or the exact error.
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[this] { loader_->LoadService("N10ZAMUnified13SystemServiceE"); }, "SystemService"},
        {[this] { loader_->LoadService("ZAMUnified::SystemService"); },
         "Unable to find service matching the name: ZAMUnified::SystemService"},
        {[this] { loader_->LoadService(1300u); }, "ConfigService"},
        {[this] { loader_->LoadService(77u); }, "Unable to find service matching the name 77"},
        {[this] { loader_->LoadFeatureSet(1300u); }, "ConfigService"},
        {[this] { loader_->LoadFeatureSet("N10ZAMUnified20HelloWorldFeatureSetE"); },
         "HelloWorldService"},
        {[this] { loader_->LoadFeatureSet("x"); },
         "Unable to find feature set matching the name x"},
        {[this] { loader_->LoadFeatureSet(77u); },
         "Unable to find feature set matching the ID: 77"},
        {[this] { loader_->LoadAuthenticator(1801u); }, "SystemService"},
        {[this] { loader_->LoadAuthenticator("helloWorld"); }, "HelloWorldService"},
        {[this] { loader_->LoadAuthenticator(77u); },
         "Unable to find authenticator matching the ID: 77"},
        {[this] { loader_->LoadAuthenticator("x"); },
         "Unable to find authenticator matching the name: x"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& [request, outcome] : cases) {
            log_.forget();
            request();
            std::vector<std::string> expected{outcome};
            if (outcome.find(' ') == std::string::npos) {
                expected = opening(factory_, outcome);
                expected.push_back("Could not load Services Library " + outcome +
                                   ", last error: " + notThere(loader_->MakeFullPath(outcome)));
            }
            EXPECT_EQ(expected, log_.messages());
        }
    }
    EXPECT_EQ(nullptr, loader_->getLibraryRecord(1000)->handle);
}

// A status as one line: name, state and reason.
std::string statusLine(const LibraryStatus& status) {
    const char* const states[] = {"not loaded", "loaded", "failed"};
    return status.record.name + ": " + states[static_cast<int>(status.state)] +
           (status.reason.empty() ? "" : ", " + status.reason);
}

// Starting a feature set loads its library on demand, on the dispatcher thread; the first record
// that lists a key wins, and later requests for anything loaded only say so, at debug level.
TEST_F(LibraryLoaderTest, LoadsOnDemandOnTheDispatcherThreadOncePerInit) {
    addTestServices();
    addTestServices("again");  // the same library twice
    addPlugin("silent", "TestNoInject",
              "<services><service name='ZAMUnified::TestAlphaService' id='7001'/>"
              "<service name='ZAMUnified::Silent' id='7201'/></services>");
    const int before = injections();
    log_.forget();
    auto events = std::make_shared<std::vector<std::shared_ptr<ServiceEvent>>>();
    factory_->StartFeatureSet(7001, events);
    EXPECT_EQ(before + 1, injections());
    EXPECT_EQ(KORCoreUtils::ThreadUtils::getCurrentThreadId(),
              probe<ProbeThread>("TestServices", "TestServicesInjectionThread")());
    std::vector<std::string> expected = opening(factory_, "TestServices");
    expected.insert(
        expected.end(),
        {"Completed Loading Services Library TestServices", "Commencing Injection for TestServices",
         "Completed Injection for TestServices", "Starting Feature Set 7001 on provider"});
    EXPECT_EQ(expected, log_.messages());
    EXPECT_TRUE(factory_->IsFeatureSetStarted(7001));
    EXPECT_EQ(events.get(), probe<ProbePointer>("TestServices", "TestServicesLastEvents")());
    EXPECT_EQ(std::vector<unsigned int>({1300, 42876}), factory_->GetFeatureSetDependencies(7001));
    factory_->StopFeatureSet(7001, events);
    EXPECT_FALSE(factory_->IsFeatureSetStarted(7001));

    // What the injection registered is found without another load. (Lookups by either key and
    // either authenticator form are the registries': TypeMapTest, UnifiedFactoryTest.)
    const auto service = factory_->getService(kAlpha);
    ASSERT_TRUE(service);
    EXPECT_EQ("TestAlphaService", service->getInterfaceName());
    EXPECT_EQ("Alpha Sign-In", factory_->getAuthenticatorDisplayName(7100));
    // The listing copies records in registration order and shows which one is open.
    // The first three are the built-in records (LibraryManifestTest.BuiltInRecordsAndNames lists
    // them in full).
    const std::string services =
        " services=N10ZAMUnified16TestAlphaServiceE serviceIds=7001 featureSets="
        "N10ZAMUnified14TestFeatureSetE featureSetIds=7001 authenticators=ALPHA,BETA "
        "authenticatorIds=7100,7101";
    const std::vector<std::string> listed = listing();
    EXPECT_EQ(
        (std::vector<std::string>{"TestServices open" + services, "TestServices closed" + services,
                                  "TestNoInject closed services=N10ZAMUnified16TestAlphaServiceE,"
                                  "N10ZAMUnified6SilentE serviceIds=7001,7201"}),
        std::vector<std::string>(listed.begin() + 3, listed.end()));
    EXPECT_EQ(loader_->getLibraryRecord(7001)->handle, loader_->getLibraryRecords()[3].handle);

    log_.forget();
    loader_->LoadService(kAlpha);  // debug is off: nothing at all
    EXPECT_TRUE(log_.records().empty());
    log_.setLevel(ZAMLOG_LEVEL_DEBUG);
    loader_->LoadService(kAlpha);
    loader_->LoadService(7001u);
    loader_->LoadFeatureSet(7001u);
    loader_->LoadFeatureSet("N10ZAMUnified14TestFeatureSetE");
    loader_->LoadAuthenticator(7100u);
    loader_->LoadAuthenticator("alpha");
    EXPECT_EQ((std::vector<std::string>{
                  std::string("D LoadService: The service ") + kAlpha + " is already loaded",
                  "D LoadService: The service 7001 is already loaded",
                  "D LoadFeatureSet: The feature set 7001 is already loaded",
                  "D LoadFeatureSet: The feature set N10ZAMUnified14TestFeatureSetE is already "
                  "loaded",
                  "D LoadAuthenticator: The authenticator 7100 is already loaded",
                  "D LoadAuthenticator: The authenticator alpha is already loaded"}),
              sftest::logLines(log_.records()));
    EXPECT_EQ(before + 1, injections());

    // Reset() destroys the library's objects once; after Init() it is injected again.
    auto destroyCount = probe<ProbeCount>("TestServices", "TestServicesDestroys");
    ASSERT_NE(nullptr, destroyCount);
    const int destroyedBefore = destroyCount();
    factory_->Reset();
    EXPECT_EQ(destroyedBefore + 1, destroyCount()) << "one object under two names: once";
    EXPECT_FALSE(factory_->getServiceRegistry()->getItem<UnifiedService>(7001u));
    EXPECT_FALSE(factory_->getFeatureSetRegistry()->getItem<FeatureSet>(7002u));

    factory_->Init();
    loader_ = factory_->getLibraryLoader();
    EXPECT_FALSE(loader_->getLibraryRecord(7001)) << "manifests are added again after a reset";
    addTestServices("afterreset");
    ASSERT_TRUE(factory_->getService(7001u));
    EXPECT_EQ(before + 2, injections());
    EXPECT_EQ("ALPHA", factory_->getAuthenticatorName(7100));
}

TEST_F(LibraryLoaderTest, NEGATIVE_EachKindOfLoadFailureLeavesItsReason) {
    addPlugin("services", "TestServices",
              "<services><service name='ZAMUnified::TestAlphaService' id='7001'/>"
              "<service name='ZAMUnified::TestOmegaService' id='7009'/></services>"
              "<featuresets><featureset name='ZAMUnified::TestFeatureSet' id='7050'/>"
              "</featuresets><authenticators><authenticator id='7199' name='GAMMA'/>"
              "</authenticators>");
    const std::string systemPath = loader_->MakeFullPath("SystemService");
    // Nothing asked yet: nothing failed.
    EXPECT_EQ("", factory_->getServiceLoadFailure(1000u));

    EXPECT_FALSE(factory_->getService("N10ZAMUnified6NobodyE"));
    EXPECT_FALSE(factory_->getService(9999u));
    EXPECT_FALSE(factory_->getService(1000u));
    EXPECT_FALSE(factory_->getService(7009u));
    EXPECT_FALSE(factory_->getService("N10ZAMUnified16TestOmegaServiceE"));
    EXPECT_FALSE(factory_->getFeatureSetAdapter(7050u));
    factory_->loadFeatureSet("N10ZAMUnified7NoneSetE");
    EXPECT_FALSE(factory_->getAuthenticator(7199u));
    EXPECT_EQ(0u, factory_->getAuthenticatorId("gamma"));
    EXPECT_EQ(0u, factory_->getAuthenticatorId("delta"));

    const std::string injected = "The library TestServices was injected but did not register the ";
    const std::vector<std::string> expected = {
        "No library record lists the service N10ZAMUnified6NobodyE",
        "No library record lists the service id 9999",
        "The library SystemService could not be opened: " + notThere(systemPath),
        injected + "service id 7009",
        injected + "service N10ZAMUnified16TestOmegaServiceE",
        injected + "feature set id 7050",
        "No library record lists the feature set N10ZAMUnified7NoneSetE",
        injected + "authenticator id 7199",
        injected + "authenticator gamma",  // names are kept case-blind, as they are searched
        "No library record lists the authenticator delta",
        "",
        "",
        ""};  // what the library did register has no reason, whether asked for or not
    EXPECT_EQ(
        expected,
        (std::vector<std::string>{
            factory_->getServiceLoadFailure("N10ZAMUnified6NobodyE"),
            factory_->getServiceLoadFailure(9999u), factory_->getServiceLoadFailure(1000u),
            factory_->getServiceLoadFailure(7009u),
            factory_->getServiceLoadFailure("N10ZAMUnified16TestOmegaServiceE"),
            factory_->getFeatureSetLoadFailure(7050u),
            factory_->getFeatureSetLoadFailure("N10ZAMUnified7NoneSetE"),
            factory_->getAuthenticatorLoadFailure(7199u),
            factory_->getAuthenticatorLoadFailure("Gamma"),
            factory_->getAuthenticatorLoadFailure("DELTA"), factory_->getServiceLoadFailure(7001u),
            factory_->getAuthenticatorLoadFailure("alpha"),
            factory_->getFeatureSetLoadFailure(1300u)}));

    // A key registered later answers no reason; Reset() forgets every reason.
    factory_->getServiceRegistry()->addItem("N10ZAMUnified16TestOmegaServiceE", 7009,
                                            factory_->getService(7001u));
    EXPECT_EQ("", factory_->getServiceLoadFailure(7009u));
    factory_->Reset();
    EXPECT_EQ("", factory_->getServiceLoadFailure(9999u));
    EXPECT_EQ("", factory_->getServiceLoadFailure(1000u));
    EXPECT_FALSE(factory_->getService(9999u));
    EXPECT_EQ("The factory is not initialized", factory_->getServiceLoadFailure(9999u));
    factory_->Init();
    EXPECT_EQ("The factory is not initialized", factory_->getServiceLoadFailure(9999u))
        << "kept until a load of the key says otherwise";

    // Reasons for unknown keys are bounded.
    factory_->Reset();
    factory_->Init();
    const unsigned int first = 100000;
    const auto count = static_cast<unsigned int>(UnifiedFactory::kMaxLoadFailures);
    for (unsigned int id = first; id <= first + count; ++id) {
        factory_->loadService(id);
    }
    // One key more than the limit: the oldest (lowest) key gave way, the newest is kept.
    EXPECT_EQ("", factory_->getServiceLoadFailure(first));
    EXPECT_EQ("No library record lists the service id " + std::to_string(first + 1),
              factory_->getServiceLoadFailure(first + 1));
    EXPECT_EQ("No library record lists the service id " + std::to_string(first + count),
              factory_->getServiceLoadFailure(first + count));
}

TEST_F(LibraryLoaderTest, StatusesListEveryRecordWithItsStateAndManifestProblemsAreKept) {
    addPlugin("silent", "TestNoInject",
              "<services><service name='ZAMUnified::Silent' id='7201'/></services>");
    addTestServices("late", false);  // its file comes later
    loader_->LoadLibraryManifest(root_ + "/nowhere");
    manifest("bad",
             "<library><name>Bad</name><services><service name='Bad::::Here'/>"
             "</services></library>");
    loader_->LoadLibraryManifest(root_ + "/bad");
    EXPECT_EQ(
        std::vector<std::string>(
            {"File: " + root_ + "/nowhere/nowhere.xml doesn't exists",
             "The service: Bad::::Here referenced in \"" + manifestPath("bad") + "\" is not valid.",
             "No library specified in Services Library Manifest " + manifestPath("bad")}),
        loader_->getManifestProblems());
    // The same texts as the log's error records, which are unchanged.
    EXPECT_EQ(loader_->getManifestProblems(), log_.messages(ZAMLOG_LEVEL_ERROR));

    EXPECT_FALSE(factory_->getService(1000u));
    EXPECT_FALSE(factory_->getService(7201u));
    EXPECT_EQ("Completed Loading Services Library TestNoInject", log_.messages().back());
    // A later successful load clears the reason.
    EXPECT_FALSE(factory_->getService(kAlpha));
    const std::string path = root_ + "/late/libTestServices.so";
    EXPECT_EQ("The library TestServices could not be opened: " + notThere(path),
              factory_->getServiceLoadFailure(kAlpha));
    EXPECT_EQ("TestServices: failed, could not be opened: " + notThere(path),
              statusLine(loader_->getLibraryStatuses().back()));
    fs::create_symlink(pluginFile("TestServices"), path);
    EXPECT_TRUE(factory_->getService(kAlpha));
    EXPECT_EQ("", factory_->getServiceLoadFailure(kAlpha));
    EXPECT_EQ("", loader_->getLibraryStatuses().back().record.loadFailure);
    const std::vector<LibraryStatus> statuses = loader_->getLibraryStatuses();
    std::vector<std::string> seen;
    for (const LibraryStatus& status : statuses) {
        seen.push_back(statusLine(status));
    }
    EXPECT_EQ(
        (std::vector<std::string>{"SystemService: failed, could not be opened: " +
                                      notThere(loader_->MakeFullPath("SystemService")),
                                  "ConfigService: not loaded", "HelloWorldService: not loaded",
                                  "TestNoInject: failed, has no injection entry InjectTestNoInject",
                                  "TestServices: loaded"}),
        seen);
    EXPECT_NE(nullptr, statuses[3].record.handle) << "open, though it failed";
    EXPECT_EQ(std::vector<unsigned int>({7001}), statuses[4].record.serviceIds);

    using Kind = LibraryLoader::ItemKind;
    EXPECT_EQ("TestServices: loaded",
              statusLine(loader_->findLibraryStatus(Kind::Authenticator, "beta").value()));
    EXPECT_FALSE(loader_->findLibraryStatus(Kind::FeatureSet, 7201u));
    EXPECT_EQ("SystemService",
              loader_->findLibraryStatus(Kind::Authenticator, 1801u).value().record.name)
        << "the first record that lists the id, as the loads search";

    // A reset drops the loader, its records and its problems; the next one starts afresh.
    factory_->Reset();
    factory_->Init();
    loader_ = factory_->getLibraryLoader();
    EXPECT_TRUE(loader_->getManifestProblems().empty());
    EXPECT_EQ(3u, loader_->getLibraryStatuses().size());
}

// A request from another thread waits until the host pumps, and the load runs on the host's
// thread. A load that the dispatcher dropped before the host pumped it (clear(), a reset) used to
// look like a load that found nothing; the requester's reason now says what happened.
TEST_F(LibraryLoaderTest, LoadFromAnotherThreadWaitsForThePumpOrIsDropped_NEGATIVE) {
    addTestServices();
    addPlugin("throwing", "TestThrowingInject",
              "<services><service name='ZAMUnified::Throwing' id='7301'/></services>");
    const int before = injections();
    const auto dispatcher = factory_->getServicesDispatcher();
    std::shared_ptr<UnifiedService> found;
    {
        sftest::OnThread dropped([&] { found = factory_->getService(kAlpha); });
        EXPECT_TRUE(sftest::eventually([&] { return dispatcher->getQueueSize() == 1; }));
        dispatcher->clear();
        EXPECT_TRUE(dropped.returns());
    }
    EXPECT_FALSE(found);
    EXPECT_EQ(
        "The library TestServices was not loaded: the dispatcher dropped the load before running "
        "it",
        factory_->getServiceLoadFailure(kAlpha));
    EXPECT_EQ(1, log_.count("Could not load Services Library TestServices: the dispatcher dropped "
                            "the load before running it"));

    log_.forget();
    std::shared_ptr<UnifiedService> failed;
    sftest::OnThread requester([&] {
        found = factory_->getService(kAlpha);
        failed = factory_->getService(7301u);
    });
    ASSERT_TRUE(sftest::eventually([&] { return dispatcher->getQueueSize() == 1; }));
    EXPECT_FALSE(requester.returned()) << "the requester must wait for the pump";
    EXPECT_EQ(before, injections());
    EXPECT_TRUE(sftest::eventually([&] {
        dispatcher->waitForDispatcherTask(10);
        dispatcher->pumpAll();  // the failing injection must not throw out of the pump
        return requester.returned();
    }));
    ASSERT_TRUE(found) << "a later load runs";
    EXPECT_EQ("", factory_->getServiceLoadFailure(kAlpha));
    EXPECT_FALSE(failed);
    EXPECT_EQ(before + 1, injections());
    EXPECT_EQ(KORCoreUtils::ThreadUtils::getCurrentThreadId(),
              probe<ProbeThread>("TestServices", "TestServicesInjectionThread")());
    EXPECT_EQ(1, log_.count("Commencing Injection for TestThrowingInject"));
    EXPECT_EQ(0, log_.count("Completed Injection for TestThrowingInject")) << "it threw";
    EXPECT_EQ(2, log_.count("Update access false"));
    EXPECT_EQ(2, log_.count("Update access true"));
}

}  // namespace
