// What a host sees when a service library is faulty, one table row per fault: the look-up that
// triggered the load answers an empty pointer (or the service, where the fault does not touch
// it), the failure is an error record naming the library or no record at all, nothing escapes
// through the host's pump or the waiting requester, and the factory goes on serving a healthy
// library afterwards.
#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "plugins/TestPluginProbe.h"
#include "support/Deadline.h"
#include "support/LogCapture.h"
#include "support/OnThread.h"
#include "support/PluginFolder.h"

namespace {

using namespace ZAMUnified;

std::string pluginFile(const std::string& name) {
    return std::string(SF_TEST_PLUGIN_DIR) + "/lib" + name + ".so";
}

// A probe function of a plug-in that is open, or nullptr. The factory never closes a library, so
// the function stays valid after this handle is closed.
ProbeCount probeOf(const std::string& name, const char* symbol) {
    void* handle = dlopen(pluginFile(name).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    const auto probe = reinterpret_cast<ProbeCount>(handle ? dlsym(handle, symbol) : nullptr);
    return handle && dlclose(handle) == 0 ? probe : nullptr;
}

enum class File { Missing, NotALibrary, Built };

// What the loader says of a library built against the framework interface `major`.`minor`.
std::string builtAgainst(std::uint32_t major, std::uint32_t minor) {
    return "was built against framework interface version " + frameworkVersionText({major, minor}) +
           ", but this framework has interface version " +
           frameworkVersionText(kFrameworkInterfaceVersion);
}
const std::uint32_t kMajor = kFrameworkInterfaceVersion.majorVersion;
const std::uint32_t kMinor = kFrameworkInterfaceVersion.minorVersion;

struct Fault {
    const char* what;
    const char* library;  // record name; also the entry symbol's suffix
    File file;
    unsigned int id;          // the service id the record lists
    const char* serviceName;  // and its name, as written in the manifest
    bool found;               // the look-up finds the service despite the fault
    bool opened;              // the record counts as loaded afterwards
    // The error records, in order; a text ending in "..." is a prefix, followed by the platform's
    // own words, which must name the library file.
    std::vector<std::string> errors;
    // What the factory answers when asked why the look-up found nothing ("" when it found the
    // service); "..." as above.
    std::string reason;
};

// `actual` as the table writes it: when `expected` ends in "..." and `actual` starts with what
// precedes it and names the library file, the platform's own words become that "...".
std::string asInTable(const std::string& actual, const std::string& expected,
                      const std::string& library) {
    const std::size_t prefix = expected.size() - 3;
    const bool open = expected.size() > 3 && expected.compare(prefix, 3, "...") == 0;
    return open && actual.compare(0, prefix, expected, 0, prefix) == 0 &&
                   actual.find("lib" + library + ".so") != std::string::npos
               ? expected
               : actual;
}

// clang-format off
const Fault kFaults[] = {
    {"missing file", "TestAbsent", File::Missing, 7501, "ZAMUnified::TestAbsentService", false,
     false, {"Could not load Services Library TestAbsent, last error: ..."},
     "The library TestAbsent could not be opened: ..."},
    {"not a shared library", "TestNotALibrary", File::NotALibrary, 7511,
     "ZAMUnified::TestTextService", false, false,
     {"Could not load Services Library TestNotALibrary, last error: ..."},
     "The library TestNotALibrary could not be opened: ..."},
    {"no injection entry", "TestNoInject", File::Built, 7201, "ZAMUnified::Silent", false, true,
     {}, "The library TestNoInject has no injection entry InjectTestNoInject"},
    {"injection throws a std::exception", "TestThrowingInject", File::Built, 7301,
     "ZAMUnified::Throwing", false, true,
     {"Injection failed for TestThrowingInject: no licence for this host"},
     "The library TestThrowingInject threw from its injection entry InjectTestThrowingInject: "
     "no licence for this host"},
    {"injection throws something else", "TestThrowingOther", File::Built, 7521,
     "ZAMUnified::ThrowingOther", false, true,
     {"Injection failed for TestThrowingOther: unknown exception"},
     "The library TestThrowingOther threw from its injection entry InjectTestThrowingOther: "
     "unknown exception"},
    {"injection registers nothing", "TestRegistersNothing", File::Built, 7531,
     "ZAMUnified::Nothing", false, true, {},
     "The library TestRegistersNothing was injected but did not register the service id 7531"},
    {"injection registers under a wrong name", "TestWrongName", File::Built, 7601,
     "ZAMUnified::TestRightService", false, true, {},
     "The library TestWrongName was injected but did not register the service id 7601"},
    {"unresolved symbol, lazily bound", "TestUnresolvedSymbol", File::Built, 7701,
     "ZAMUnified::TestUnresolvedService", true, true, {}, ""},
    {"built against this framework's interface", "TestVersionCurrent", File::Built, 7801,
     "versioned::VersionedService", true, true, {}, ""},
    {"built against a later major interface", "TestVersionMajorAhead", File::Built, 7802,
     "versioned::VersionedService", false, true,
     {"Refusing Services Library TestVersionMajorAhead: it " + builtAgainst(kMajor + 1, 0)},
     "The library TestVersionMajorAhead " + builtAgainst(kMajor + 1, 0)},
    {"built against an earlier major interface", "TestVersionMajorBehind", File::Built, 7803,
     "versioned::VersionedService", false, true,
     {"Refusing Services Library TestVersionMajorBehind: it " + builtAgainst(kMajor - 1, 0)},
     "The library TestVersionMajorBehind " + builtAgainst(kMajor - 1, 0)},
    {"built against a later minor interface", "TestVersionMinorAhead", File::Built, 7804,
     "versioned::VersionedService", false, true,
     {"Refusing Services Library TestVersionMinorAhead: it " + builtAgainst(kMajor, kMinor + 1)},
     "The library TestVersionMinorAhead " + builtAgainst(kMajor, kMinor + 1)},
};
// clang-format on

class PluginFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(folder_.root().empty());
        std::filesystem::create_directories(folder_.root() / "resources");
        setenv("ZAM_RESOURCES_DIR", (folder_.root() / "resources").c_str(), 1);
    }
    void TearDown() override {
        factory_->Reset();
        unsetenv("ZAM_RESOURCES_DIR");
    }

    // Writes the manifest <root>/<dir>/<dir>.xml for one library with one service, puts its file
    // in place and hands the manifest to the loader.
    void addLibrary(const std::string& dir, const std::string& name, File file,
                    const std::string& service, unsigned int id) {
        const std::string folder = folder_.add(
            dir,
            "<library><name>" + name + "</name><path>" + name + "</path><services><service name='" +
                service + "' id='" + std::to_string(id) + "'/></services></library>",
            file == File::Built ? pluginFile(name) : "", name);
        if (file == File::NotALibrary) {
            std::ofstream(folder + "/lib" + name + ".so")
                << "# not a shared library, whatever its name says\n";
        }
        factory_->getLibraryLoader()->LoadLibraryManifest(folder);
    }

    // Asks for the service from another thread while this, the dispatcher thread, pumps, as a
    // host does; fails the test if the requester is not released or the pump throws.
    std::shared_ptr<UnifiedService> requestWhilePumping(unsigned int id) {
        std::shared_ptr<UnifiedService> found;
        const auto dispatcher = factory_->getServicesDispatcher();
        sftest::OnThread requester([&] { found = factory_->getService(id); });
        const bool finished = sftest::eventually([&] {
            dispatcher->waitForDispatcherTask(10);
            EXPECT_NO_THROW(dispatcher->pumpAll());
            return requester.returned();
        });
        EXPECT_TRUE(finished) << "the requester was not released";
        if (!finished) {
            dispatcher->clear();  // releases the requester, so the thread can be joined
            EXPECT_TRUE(requester.returns());
        }
        return found;
    }

    const sftest::PluginFolder folder_;
    sftest::LogCapture log_{{"library-loader", "unified-factory"}};
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
};

TEST_F(PluginFaultTest, NEGATIVE_EachFaultIsReportedAndTheFactoryKeepsServing) {
    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(fault.what);
        factory_->Init();
        addLibrary(std::string("faulty") + fault.library, fault.library, fault.file,
                   fault.serviceName, fault.id);
        addLibrary(std::string("healthy") + fault.library, "TestServices", File::Built,
                   "ZAMUnified::TestAlphaService", 7001);
        log_.forget();

        EXPECT_EQ(fault.found, static_cast<bool>(requestWhilePumping(fault.id)));
        std::vector<std::string> errors = log_.messages(ZAMLOG_LEVEL_ERROR);
        for (std::size_t i = 0; i < errors.size() && i < fault.errors.size(); ++i) {
            errors[i] = asInTable(errors[i], fault.errors[i], fault.library);
        }
        EXPECT_EQ(fault.errors, errors);
        EXPECT_EQ(fault.reason, asInTable(factory_->getServiceLoadFailure(fault.id), fault.reason,
                                          fault.library));
        const auto record = factory_->getLibraryRecord(fault.id);
        EXPECT_EQ(fault.opened ? 1 : 0, record ? record->handle != nullptr : -1);

        // A second request: a library that could not be opened is tried again with the same
        // report; an opened one is not touched again.
        log_.forget();
        EXPECT_EQ(fault.found, static_cast<bool>(factory_->getService(fault.id)));
        EXPECT_EQ(fault.opened ? 0u : fault.errors.size(),
                  log_.messages(ZAMLOG_LEVEL_ERROR).size());

        // The framework keeps serving other libraries, loaded from another thread as well.
        EXPECT_TRUE(requestWhilePumping(7001)) << "the healthy library after the fault";
        EXPECT_TRUE(factory_->getService("N10ZAMUnified16TestAlphaServiceE"));
        factory_->Reset();
    }
}

// The libraries report shows what each library recorded, once it has been opened: refused or
// not, and nothing for a library written without the helpers.
TEST_F(PluginFaultTest, TheFrameworkVersionALibraryRecordedIsReported) {
    factory_->Init();
    for (const auto& [library, id] : {std::pair{"TestVersionCurrent", 7801u},
                                      {"TestVersionMajorAhead", 7802u},
                                      {"TestServices", 7001u}}) {
        addLibrary(library, library, File::Built, "versioned::VersionedService", id);
        factory_->getService(id);
    }
    const std::vector<std::string> expected = {
        "TestVersionCurrent loaded [" + frameworkVersionText(kFrameworkInterfaceVersion) + "]",
        "TestVersionMajorAhead failed [" + frameworkVersionText({kMajor + 1, 0}) + "]",
        "TestServices loaded []"};
    std::vector<std::string> seen;
    for (const LibraryReport& library : reportLibraries(*factory_)) {
        seen.push_back(library.name + " " + library.state + " [" + library.frameworkVersion + "]");
    }
    // Behind the built-in records, in the order the manifests came.
    ASSERT_LE(3u, seen.size());
    EXPECT_EQ(expected, std::vector<std::string>(seen.end() - 3, seen.end()));
}

TEST_F(PluginFaultTest, NEGATIVE_WrongNameLeavesTheRecordedNamesEmptyAndKeepsWhatWasRegistered) {
    factory_->Init();
    addLibrary("wrong", "TestWrongName", File::Built, "ZAMUnified::TestRightService", 7601);
    // (By its id it is the fault table's row.)
    EXPECT_FALSE(factory_->getService("N10ZAMUnified16TestRightServiceE"));
    // What the library did register stays reachable under its own keys, so a host can see the
    // mismatch; a request under those keys finds no record and loads nothing.
    EXPECT_TRUE(factory_->getService(7602u));
    EXPECT_TRUE(factory_->getService("N10ZAMUnified16TestWrongServiceE"));
}

TEST_F(PluginFaultTest, NEGATIVE_RegistersNothingIsInjectedOncePerInit) {
    // The library stays open across tests, and so does its counter.
    auto injections = [] {
        const ProbeCount count = probeOf("TestRegistersNothing", "TestRegistersNothingInjections");
        return count != nullptr ? count() : 0;
    };
    const int before = injections();
    for (int cycle = 1; cycle <= 2; ++cycle) {
        factory_->Init();
        addLibrary("nothing" + std::to_string(cycle), "TestRegistersNothing", File::Built,
                   "ZAMUnified::Nothing", 7531);
        EXPECT_FALSE(factory_->getService(7531u));
        EXPECT_FALSE(factory_->getService(7531u));
        EXPECT_EQ(before + cycle, injections()) << "once per Init(), however often it is asked";
        factory_->Reset();
    }
}

// Lazy binding opens a library whose missing function is never called; a call that reaches it
// ends the process in the dynamic linker, which names the symbol. Nothing in the framework can
// catch that, so hosts should not call into a library before it has proved itself.
TEST_F(PluginFaultTest, NEGATIVE_CallingTheUnresolvedSymbolEndsTheProcess) {
    factory_->Init();
    addLibrary("unresolved", "TestUnresolvedSymbol", File::Built,
               "ZAMUnified::TestUnresolvedService", 7701);
    ASSERT_TRUE(factory_->getService(7701u));
    const ProbeCount callMissing =
        probeOf("TestUnresolvedSymbol", "TestUnresolvedSymbolCallMissing");
    ASSERT_NE(nullptr, callMissing);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(callMissing(), ::testing::ExitedWithCode(127),
                "undefined symbol: sf_test_function_nobody_defines");
}

}  // namespace
