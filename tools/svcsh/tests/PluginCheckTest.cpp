#include "PluginCheck.h"

#include <ZAMUnified/FrameworkVersion.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/PluginFolder.h"

namespace {

std::string testPlugin(const std::string& name) {
    return std::string(SVCSH_CHECK_PLUGIN_DIR) + "/lib" + name + ".so";
}

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

    // Checks `given` and compares the status and the whole report, whose first two lines name the
    // directory and the columns.
    void expectCheck(const std::string& given, int status, const std::vector<std::string>& rows) {
        std::ostringstream out;
        EXPECT_EQ(status, svcsh::checkPluginDirectory(given, out));
        const std::string dir = given.back() == '/' ? given.substr(0, given.size() - 1) : given;
        std::string expected =
            "Checking plug-in directory " + dir +
            "\nKIND              KEY                                       RESULT\n";
        for (const std::string& line : rows) {
            expected += line + "\n";
        }
        EXPECT_EQ(expected, out.str());
    }

    sftest::PluginFolder plugins_;
    const std::string root_ = plugins_.root().string() + "/";
};

// Every promise is kept, but the built-in SystemService record claims authenticator 1801 too and is
// asked first, so a host that has not loaded the sample yet cannot get 1801 from it.
TEST_F(PluginCheckTest, TheSampleLibraryKeepsEveryPromiseButSharesAnAuthenticatorId) {
    const std::string dir = plugins_.add("hello", R"(<library>
  <name>HelloWorldService</name>
  <path>HelloWorldService</path>
  <services><service name="ZAMUnified::HelloWorldService" id="42876"/></services>
  <featuresets><featureset name="ZAMUnified::HelloWorldFeatureSet" id="42876"/></featuresets>
  <authenticators><authenticator id="1801" name="HELLOWORLD"/></authenticators>
</library>)",
                                         SVCSH_CHECK_HELLO_LIBRARY, "HelloWorldService");
    // A trailing separator names the same directory.
    expectCheck(
        dir + "/", svcsh::kCheckProblems,
        {row("manifest", manifestOf("hello"), "ok"),
         "library           HelloWorldService                         ok: opened and injected",
         kFramework,
         "service           N10ZAMUnified17HelloWorldServiceE         ok: registered, has a "
         "reflector",
         "service id        42876                                     ok: registered",
         "feature set       N10ZAMUnified20HelloWorldFeatureSetE      ok: registered",
         "feature set id    42876                                     ok: registered",
         "authenticator     HELLOWORLD                                ok: registered",
         "authenticator id  1801                                      ok: registered",
         "authenticator id  1801                                      PROBLEM: also claimed by the "
         "library record SystemService, which the factory asks first",
         "1 problem"});
}

// Promises a second service id it does not register, a service entry the manifest reader finds
// invalid, and the alias feature set under its right name, and leaves out two authenticators it
// does register; "alpha" matches case-blind.
TEST_F(PluginCheckTest,
       NEGATIVE_PromisesNotKeptRegistrationsNotListedAndManifestErrorsAreProblems) {
    const std::string dir = plugins_.add("partial", R"(<library>
  <name>TestServices</name><path>TestServices</path>
  <services>
    <service name="ZAMUnified::TestAlphaService" id="7001"/>
    <service name="ZAMUnified::TestGammaService" id="7003"/>
  </services>
  <featuresets>
    <featureset name="ZAMUnified::TestFeatureSet" id="7001"/>
    <featureset name="ZAMUnified::TestFeatureAlias" id="7002"/>
  </featuresets>
  <authenticators><authenticator id="7100" name="alpha"/></authenticators>
  <services><service name="TestBetaService"/></services>
</library>)",
                                         testPlugin("TestServices"), "TestServices");
    const std::string notRegistered = "PROBLEM: listed in the manifest, not registered";
    const std::string notListed = "PROBLEM: registered, not listed in the manifest";
    expectCheck(
        dir, svcsh::kCheckProblems,
        {row("manifest", manifestOf("partial"),
             "PROBLEM: The service: TestBetaService referenced in \"" + manifestOf("partial") +
                 "\" is not valid."),
         row("library", "TestServices", "ok: opened and injected"),
         row("service", "N10ZAMUnified16TestAlphaServiceE",
             "PROBLEM: registered, no reflector for interface \"TestAlphaService\""),
         row("service", "N10ZAMUnified16TestGammaServiceE", notRegistered),
         // The unmangled name stays listed, so the library is also found not to register it.
         row("service", "TestBetaService", notRegistered),
         row("service id", "7001", "ok: registered"), row("service id", "7003", notRegistered),
         row("feature set", "N10ZAMUnified14TestFeatureSetE", "ok: registered"),
         // The plug-in registers its alias under a hand-written name whose length is one short,
         // which no manifest entry can match: exactly the slip the checker is for.
         row("feature set", "N10ZAMUnified16TestFeatureAliasE", notRegistered),
         row("feature set", "N10ZAMUnified15TestFeatureAliasE", notListed),
         row("feature set id", "7001", "ok: registered"),
         row("feature set id", "7002", "ok: registered"),
         row("authenticator", "alpha", "ok: registered"),
         row("authenticator", "BETA", "PROBLEM: registered (id 7101), not listed in the manifest"),
         row("authenticator", "7102", "PROBLEM: registered (id 7102), not listed in the manifest"),
         row("authenticator id", "7100", "ok: registered"),
         row("authenticator id", "7101", notListed), row("authenticator id", "7102", notListed),
         "11 problems"});
}

// A library and the one service its manifest promises: the version shows, and a library that is
// refused, has no injection entry, throws from it or will not open stops the comparison there.
// The loader's own words for each fault are PluginFaultTest's.
TEST_F(PluginCheckTest, NEGATIVE_ALibraryThatCannotBeInjectedStopsTheComparison) {
    const std::string refused = "was built against framework interface version " +
                                ZAMUnified::frameworkVersionText(
                                    {ZAMUnified::kFrameworkInterfaceVersion.majorVersion + 1, 0}) +
                                ", but this framework has interface version " + kVersion;
    const struct {
        const char* library;  // "Absent" has no library file at all
        const char* service;  // and its id, and a version for the manifest
        int status;
        std::vector<std::string> rows;  // after the manifest's
    } cases[] = {
        {"TestVersionCurrent",
         "versioned::VersionedService' id='7801'/></services><version>3.2-rc1</version>",
         svcsh::kCheckPassed,
         {row("version", "3.2-rc1", "ok: the library's version"),
          row("library", "TestVersionCurrent", "ok: opened and injected"), kFramework,
          row("service", "N9versioned16VersionedServiceE", "ok: registered, has a reflector"),
          row("service id", "7801", "ok: registered"), "0 problems"}},
        {"TestVersionMajorAhead",
         "versioned::VersionedService' id='7802'/></services>",
         svcsh::kCheckProblems,
         {row("library", "TestVersionMajorAhead", "PROBLEM: " + refused), "1 problem"}},
        {"TestNoInject",
         "ZAMUnified::NoInjectService' id='7201'/></services>",
         svcsh::kCheckProblems,
         {row("library", "TestNoInject", "PROBLEM: has no injection entry InjectTestNoInject"),
          "1 problem"}},
        {"TestThrowingInject",
         "ZAMUnified::LicensedService' id='7301'/></services>",
         svcsh::kCheckProblems,
         {row("library", "TestThrowingInject",
              "PROBLEM: threw from its injection entry InjectTestThrowingInject: no licence for "
              "this host"),
          row("service", "N10ZAMUnified15LicensedServiceE",
              "PROBLEM: listed in the manifest, not registered"),
          row("service id", "7301", "PROBLEM: listed in the manifest, not registered"),
          "3 problems"}},
        {"Absent",
         "ZAMUnified::AbsentService' id='7401'/></services>",
         svcsh::kCheckProblems,
         {row("library", "Absent",
              "PROBLEM: could not be opened: " + root_ +
                  "Absent/libAbsent.so: cannot open shared object file: No such file or "
                  "directory"),
          "1 problem"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        const std::string library = c.library;
        std::vector<std::string> rows{row("manifest", manifestOf(library), "ok")};
        rows.insert(rows.end(), c.rows.begin(), c.rows.end());
        expectCheck(plugins_.add(library,
                                 "<library><name>" + library + "</name><path>" + library +
                                     "</path><services><service name='" + c.service + "</library>",
                                 library == "Absent" ? "" : testPlugin(library), library),
                    c.status, rows);
    }
}

// The manifest reader's words, for a nameless or a broken manifest, are LibraryManifestTest's;
// here, the status and the one row.
TEST_F(PluginCheckTest, NEGATIVE_AMissingOrUnreadableManifestExitsWithTwo) {
    expectCheck(root_ + "nowhere", svcsh::kCheckUnreadable,
                {row("manifest", manifestOf("nowhere"), "PROBLEM: no such file"), "1 problem"});
    expectCheck(plugins_.add("nameless", "<library><path>X</path></library>"),
                svcsh::kCheckUnreadable,
                {row("manifest", manifestOf("nameless"),
                     "PROBLEM: No library specified in Services Library Manifest " +
                         manifestOf("nameless")),
                 "1 problem"});
}

}  // namespace
