#include "PluginCheck.h"

#include <ZAMUnified/FrameworkVersion.h>

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "support/PluginFolder.h"

namespace {

// One table row as the checker lays it out: kind in 18 columns, key in 42, then the result.
std::string row(const std::string& kind, const std::string& key, const std::string& result) {
    auto pad = [](const std::string& text, std::size_t width) {
        return text.size() < width ? text + std::string(width - text.size(), ' ') : text + " ";
    };
    return pad(kind, 18) + pad(key, 42) + result;
}

const std::string kVersion =
    ZAMUnified::frameworkVersionText(ZAMUnified::kFrameworkInterfaceVersion);
const std::string kFramework =
    row("framework", kVersion, "ok: this framework has interface version " + kVersion);

class PluginCheckTest : public ::testing::Test {
  protected:
    std::string manifestOf(const std::string& dir) { return root_ + dir + "/" + dir + ".xml"; }

    // Checks `dir`, given with `suffix`, and compares the status and the whole report: the line
    // that names `dir`, the columns, the manifest's row with the result `manifest`, then `rows`.
    void expectCheck(const std::string& dir, int status, const std::string& manifest,
                     const std::string& rows, const std::string& suffix = "") {
        std::ostringstream out;
        EXPECT_EQ(status, svcsh::checkPluginDirectory(dir + suffix, out));
        EXPECT_EQ("Checking plug-in directory " + dir +
                      "\nKIND              KEY                                       RESULT\n" +
                      row("manifest", manifestOf(dir.substr(root_.size())), manifest) + "\n" + rows,
                  out.str());
    }

    sftest::PluginFolder plugins_;
    const std::string root_ = plugins_.root().string() + "/";
};

// Every promise is kept, but the built-in SystemService record claims authenticator 1801 too and is
// asked first, so a host that has not loaded the sample yet cannot get 1801 from it. A trailing
// separator names the same directory.
TEST_F(PluginCheckTest, TheSampleLibraryKeepsEveryPromiseButSharesAnAuthenticatorId) {
    const std::string dir = plugins_.add(
        "hello",
        "<library><name>HelloWorldService</name><path>HelloWorldService</path><services>"
        "<service name='ZAMUnified::HelloWorldService' id='42876'/></services><featuresets>"
        "<featureset name='ZAMUnified::HelloWorldFeatureSet' id='42876'/></featuresets>"
        "<authenticators><authenticator id='1801' name='HELLOWORLD'/></authenticators></library>",
        SVCSH_CHECK_HELLO_LIBRARY, "HelloWorldService");
    expectCheck(dir, svcsh::kCheckProblems, "ok",
                "library           HelloWorldService                         ok: opened and "
                "injected\n" +
                    kFramework + R"(
service           N10ZAMUnified17HelloWorldServiceE         ok: registered, has a reflector
service id        42876                                     ok: registered
feature set       N10ZAMUnified20HelloWorldFeatureSetE      ok: registered
feature set id    42876                                     ok: registered
authenticator     HELLOWORLD                                ok: registered
authenticator id  1801                                      ok: registered
authenticator id  1801                                      PROBLEM: also claimed by the library record SystemService, which the factory asks first
1 problem
)",
                "/");
}

// Promises a second service id it does not register, a service entry the manifest reader finds
// invalid, and the alias feature set under its right name, and leaves out two authenticators it
// does register; "alpha" matches case-blind. The invalid entry's unmangled name stays listed, so
// the library is also found not to register it. The plug-in registers its alias under a
// hand-written name whose length is one short, which no manifest entry can match: exactly the slip
// the checker is for.
TEST_F(PluginCheckTest,
       NEGATIVE_PromisesNotKeptRegistrationsNotListedAndManifestErrorsAreProblems) {
    const std::string dir = plugins_.add(
        "partial",
        "<library><name>TestServices</name><path>TestServices</path><services>"
        "<service name='ZAMUnified::TestAlphaService' id='7001'/>"
        "<service name='ZAMUnified::TestGammaService' id='7003'/></services><featuresets>"
        "<featureset name='ZAMUnified::TestFeatureSet' id='7001'/>"
        "<featureset name='ZAMUnified::TestFeatureAlias' id='7002'/></featuresets>"
        "<authenticators><authenticator id='7100' name='alpha'/></authenticators>"
        "<services><service name='TestBetaService'/></services></library>",
        SVCSH_CHECK_PLUGIN_DIR "/libTestServices.so", "TestServices");
    expectCheck(
        dir, svcsh::kCheckProblems,
        "PROBLEM: The service: TestBetaService referenced in \"" + manifestOf("partial") +
            "\" is not valid.",
        R"(library           TestServices                              ok: opened and injected
service           N10ZAMUnified16TestAlphaServiceE          PROBLEM: registered, no reflector for interface "TestAlphaService"
service           N10ZAMUnified16TestGammaServiceE          PROBLEM: listed in the manifest, not registered
service           TestBetaService                           PROBLEM: listed in the manifest, not registered
service id        7001                                      ok: registered
service id        7003                                      PROBLEM: listed in the manifest, not registered
feature set       N10ZAMUnified14TestFeatureSetE            ok: registered
feature set       N10ZAMUnified16TestFeatureAliasE          PROBLEM: listed in the manifest, not registered
feature set       N10ZAMUnified15TestFeatureAliasE          PROBLEM: registered, not listed in the manifest
feature set id    7001                                      ok: registered
feature set id    7002                                      ok: registered
authenticator     alpha                                     ok: registered
authenticator     BETA                                      PROBLEM: registered (id 7101), not listed in the manifest
authenticator     7102                                      PROBLEM: registered (id 7102), not listed in the manifest
authenticator id  7100                                      ok: registered
authenticator id  7101                                      PROBLEM: registered, not listed in the manifest
authenticator id  7102                                      PROBLEM: registered, not listed in the manifest
11 problems
)");
}

// A library and the one service its manifest promises: the version shows, and a library that is
// refused, has no injection entry, throws from it or will not open stops the comparison there.
// The loader's own words for each fault are PluginFaultTest's.
TEST_F(PluginCheckTest, NEGATIVE_ALibraryThatCannotBeInjectedStopsTheComparison) {
    // The library ("Absent" has no file at all), its service, id and version for the manifest,
    // the status, and the rows after the manifest's.
    const std::tuple<std::string, std::string, int, std::string> cases[] = {
        {"TestVersionCurrent",
         "versioned::VersionedService' id='7801'/></services><version>3.2-rc1</version>",
         svcsh::kCheckPassed,
         R"(version           3.2-rc1                                   ok: the library's version
library           TestVersionCurrent                        ok: opened and injected
)" + kFramework +
             R"(
service           N9versioned16VersionedServiceE            ok: registered, has a reflector
service id        7801                                      ok: registered
0 problems
)"},
        {"TestVersionMajorAhead", "versioned::VersionedService' id='7802'/></services>",
         svcsh::kCheckProblems,
         row("library", "TestVersionMajorAhead",
             "PROBLEM: was built against framework interface version " +
                 ZAMUnified::frameworkVersionText(
                     {ZAMUnified::kFrameworkInterfaceVersion.majorVersion + 1, 0}) +
                 ", but this framework has interface version " + kVersion) +
             "\n1 problem\n"},
        {"TestNoInject", "ZAMUnified::NoInjectService' id='7201'/></services>",
         svcsh::kCheckProblems,
         R"(library           TestNoInject                              PROBLEM: has no injection entry InjectTestNoInject
1 problem
)"},
        {"TestThrowingInject", "ZAMUnified::LicensedService' id='7301'/></services>",
         svcsh::kCheckProblems,
         R"(library           TestThrowingInject                        PROBLEM: threw from its injection entry InjectTestThrowingInject: no licence for this host
service           N10ZAMUnified15LicensedServiceE           PROBLEM: listed in the manifest, not registered
service id        7301                                      PROBLEM: listed in the manifest, not registered
3 problems
)"},
        {"Absent", "ZAMUnified::AbsentService' id='7401'/></services>", svcsh::kCheckProblems,
         row("library", "Absent",
             "PROBLEM: could not be opened: " + root_ +
                 "Absent/libAbsent.so: "
                 "cannot open shared object file: No such file or directory\n1 problem\n")},
    };
    for (const auto& [library, service, status, rows] : cases) {
        SCOPED_TRACE(library);
        expectCheck(
            plugins_.add(library,
                         "<library><name>" + library + "</name><path>" + library +
                             "</path><services><service name='" + service + "</library>",
                         library == "Absent" ? "" : SVCSH_CHECK_PLUGIN_DIR "/lib" + library + ".so",
                         library),
            status, "ok", rows);
    }
}

// The manifest reader's words, for a nameless or a broken manifest, are LibraryManifestTest's;
// here, the status and the one row.
TEST_F(PluginCheckTest, NEGATIVE_AMissingOrUnreadableManifestExitsWithTwo) {
    expectCheck(root_ + "nowhere", svcsh::kCheckUnreadable, "PROBLEM: no such file", "1 problem\n");
    expectCheck(
        plugins_.add("nameless", "<library><path>X</path></library>"), svcsh::kCheckUnreadable,
        "PROBLEM: No library specified in Services Library Manifest " + manifestOf("nameless"),
        "1 problem\n");
}

}  // namespace
