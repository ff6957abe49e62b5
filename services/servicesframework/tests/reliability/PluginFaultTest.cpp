// What a host sees when a service library is faulty, one table row per fault: the look-up that
// triggered the load answers an empty pointer (or the service, where the fault does not touch
// it), the failure is an error record naming the library or no record at all, nothing escapes
// through the host's pump or the waiting requester, and the factory goes on serving a healthy
// library afterwards.
#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugins/TestPluginProbe.h"
#include "support/Deadline.h"
#include "support/LogCapture.h"

namespace {

using namespace ZAMUnified;
namespace fs = std::filesystem;

const char* const kAlpha = "N10ZAMUnified16TestAlphaServiceE";

std::string pluginFile(const std::string& name) {
    return std::string(SF_TEST_PLUGIN_DIR) + "/lib" + name + ".so";
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

// A text ending in "..." is a prefix, and the platform's own words behind it name the library file.
void expectText(const std::string& expected, const std::string& actual, const char* library) {
    const std::size_t prefix = expected.size() - 3;
    if (expected.size() > 3 && expected.compare(prefix, 3, "...") == 0) {
        EXPECT_EQ(expected.substr(0, prefix), actual.substr(0, prefix));
        EXPECT_NE(std::string::npos, actual.find("lib" + std::string(library) + ".so")) << actual;
    } else {
        EXPECT_EQ(expected, actual);
    }
}

// clang-format off
const Fault kFaults[] = {
    {"missing file", "TestAbsent", File::Missing, 7501, "ZAMUnified::TestAbsentService",
     false, false,
     {"Could not load Services Library TestAbsent, last error: ..."},
     "The library TestAbsent could not be opened: ..."},
    {"not a shared library", "TestNotALibrary", File::NotALibrary, 7511,
     "ZAMUnified::TestTextService", false, false,
     {"Could not load Services Library TestNotALibrary, last error: ..."},
     "The library TestNotALibrary could not be opened: ..."},
    {"no injection entry", "TestNoInject", File::Built, 7201, "ZAMUnified::Silent",
     false, true,
     {},
     "The library TestNoInject has no injection entry InjectTestNoInject"},
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
     "ZAMUnified::Nothing", false, true,
     {},
     "The library TestRegistersNothing was injected but did not register the service id 7531"},
    {"injection registers under a wrong name", "TestWrongName", File::Built, 7601,
     "ZAMUnified::TestRightService", false, true,
     {},
     "The library TestWrongName was injected but did not register the service id 7601"},
    {"unresolved symbol, lazily bound", "TestUnresolvedSymbol", File::Built, 7701,
     "ZAMUnified::TestUnresolvedService", true, true,
     {},
     ""},
    {"built against this framework's interface", "TestVersionCurrent", File::Built, 7801,
     "versioned::VersionedService", true, true,
     {},
     ""},
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
        char pattern[] = "/tmp/sf-faults-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        fs::create_directories(root_ + "/resources");
        setenv("ZAM_RESOURCES_DIR", (root_ + "/resources").c_str(), 1);
    }
    void TearDown() override {
        factory_->Reset();
        unsetenv("ZAM_RESOURCES_DIR");
        fs::remove_all(root_);
    }

    // Writes the manifest <root>/<dir>/<dir>.xml for one library and puts its file in place.
    void addLibrary(const std::string& dir, const std::string& name, File file,
                    const std::string& services) {
        const fs::path folder = fs::path(root_) / dir;
        fs::create_directories(folder);
        std::ofstream(folder / (dir + ".xml"))
            << "<library><name>" << name << "</name><path>" << name << "</path><services>"
            << services << "</services></library>";
        const fs::path target = folder / ("lib" + name + ".so");
        fs::remove(target);
        if (file == File::Built) {
            fs::create_symlink(pluginFile(name), target);
        } else if (file == File::NotALibrary) {
            std::ofstream(target) << "# not a shared library, whatever its name says\n";
        }
        factory_->getLibraryLoader()->LoadLibraryManifest(folder.string());
    }

    // Asks for the service from another thread while this, the dispatcher thread, pumps, as a
    // host does; fails the test if the requester is not released or the pump throws.
    std::shared_ptr<UnifiedService> requestWhilePumping(unsigned int id) {
        std::atomic<bool> done{false};
        std::shared_ptr<UnifiedService> found;
        std::thread requester([&] {
            found = factory_->getService(id);
            done = true;
        });
        const auto dispatcher = factory_->getServicesDispatcher();
        const bool finished = sftest::eventually([&] {
            dispatcher->waitForDispatcherTask(10);
            EXPECT_NO_THROW(dispatcher->pumpAll());
            return done.load();
        });
        EXPECT_TRUE(finished) << "the requester was not released";
        if (!finished) {
            dispatcher->clear();  // releases the requester, so the thread can be joined
        }
        requester.join();
        return found;
    }

    sftest::LogCapture log_{{"library-loader", "unified-factory"}};
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
    std::string root_;
};

TEST_F(PluginFaultTest, NEGATIVE_EachFaultIsReportedAndTheFactoryKeepsServing) {
    for (const Fault& fault : kFaults) {
        SCOPED_TRACE(fault.what);
        factory_->Init();
        addLibrary(std::string("faulty") + fault.library, fault.library, fault.file,
                   "<service name='" + std::string(fault.serviceName) + "' id='" +
                       std::to_string(fault.id) + "'/>");
        addLibrary("healthy", "TestServices", File::Built,
                   "<service name='ZAMUnified::TestAlphaService' id='7001'/>");
        log_.forget();

        const std::shared_ptr<UnifiedService> service = requestWhilePumping(fault.id);
        EXPECT_EQ(fault.found, static_cast<bool>(service));
        const std::vector<std::string> errors = log_.messages(ZAMLOG_LEVEL_ERROR);
        ASSERT_EQ(fault.errors.size(), errors.size()) << ::testing::PrintToString(errors);
        for (std::size_t i = 0; i < errors.size(); ++i) {
            expectText(fault.errors[i], errors[i], fault.library);
        }
        expectText(fault.reason, factory_->getServiceLoadFailure(fault.id), fault.library);
        const auto record = factory_->getLibraryRecord(fault.id);
        ASSERT_TRUE(record);
        EXPECT_EQ(fault.opened, record->handle != nullptr);

        // A second request: a library that could not be opened is tried again with the same
        // report; an opened one is not touched again.
        log_.forget();
        EXPECT_EQ(fault.found, static_cast<bool>(factory_->getService(fault.id)));
        EXPECT_EQ(fault.opened ? 0u : fault.errors.size(),
                  log_.messages(ZAMLOG_LEVEL_ERROR).size());

        // The framework keeps serving other libraries, loaded from another thread as well.
        EXPECT_TRUE(requestWhilePumping(7001)) << "the healthy library after the fault";
        EXPECT_TRUE(factory_->getService(kAlpha));
        factory_->Reset();
    }
}

// The libraries report shows what each library recorded, once it has been opened: refused or
// not, and nothing for a library written without the helpers.
TEST_F(PluginFaultTest, TheFrameworkVersionALibraryRecordedIsReported) {
    factory_->Init();
    const struct {
        const char* library;
        unsigned int id;
        std::string frameworkVersion;
        const char* state;
    } cases[] = {
        {"TestVersionCurrent", 7801, frameworkVersionText(kFrameworkInterfaceVersion), "loaded"},
        {"TestVersionMajorAhead", 7802, frameworkVersionText({kMajor + 1, 0}), "failed"},
        {"TestServices", 7001, "", "loaded"},
    };
    for (const auto& c : cases) {
        addLibrary(
            c.library, c.library, File::Built,
            "<service name='versioned::VersionedService' id='" + std::to_string(c.id) + "'/>");
        factory_->getService(c.id);
    }
    std::vector<std::string> seen;
    for (const LibraryReport& library : reportLibraries(*factory_)) {
        seen.push_back(library.name + " " + library.state + " [" + library.frameworkVersion + "]");
    }
    for (const auto& c : cases) {
        EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(),
                                        std::string(c.library) + " " + c.state + " [" +
                                            c.frameworkVersion + "]"))
            << ::testing::PrintToString(seen);
    }
}

TEST_F(PluginFaultTest, NEGATIVE_WrongNameLeavesTheRecordedNamesEmptyAndKeepsWhatWasRegistered) {
    factory_->Init();
    addLibrary("wrong", "TestWrongName", File::Built,
               "<service name='ZAMUnified::TestRightService' id='7601'/>");
    EXPECT_FALSE(factory_->getService("N10ZAMUnified16TestRightServiceE"));
    EXPECT_FALSE(factory_->getService(7601u));
    // What the library did register stays reachable under its own keys, so a host can see the
    // mismatch; a request under those keys finds no record and loads nothing.
    EXPECT_TRUE(factory_->getService(7602u));
    EXPECT_TRUE(factory_->getService("N10ZAMUnified16TestWrongServiceE"));
}

TEST_F(PluginFaultTest, NEGATIVE_RegistersNothingIsInjectedOncePerInit) {
    // The library stays open across tests, and so does its counter.
    auto injections = [] {
        void* handle = dlopen(pluginFile("TestRegistersNothing").c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (handle == nullptr) {
            return 0;
        }
        auto count = reinterpret_cast<ProbeCount>(dlsym(handle, "TestRegistersNothingInjections"));
        const int value = count ? count() : -1;
        dlclose(handle);
        return value;
    };
    const int before = injections();
    for (int cycle = 1; cycle <= 2; ++cycle) {
        factory_->Init();
        addLibrary("nothing" + std::to_string(cycle), "TestRegistersNothing", File::Built,
                   "<service name='ZAMUnified::Nothing' id='7531'/>");
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
               "<service name='ZAMUnified::TestUnresolvedService' id='7701'/>");
    ASSERT_TRUE(factory_->getService(7701u));
    void* handle = dlopen(pluginFile("TestUnresolvedSymbol").c_str(), RTLD_LAZY | RTLD_NOLOAD);
    ASSERT_NE(nullptr, handle);
    auto callMissing =
        reinterpret_cast<ProbeCount>(dlsym(handle, "TestUnresolvedSymbolCallMissing"));
    ASSERT_NE(nullptr, callMissing);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(callMissing(), ::testing::ExitedWithCode(127),
                "undefined symbol: sf_test_function_nobody_defines");
    dlclose(handle);
}

}  // namespace
