#include <ZAMUnified/LibraryLoader.h>

#include <KORCoreUtils.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <tuple>
#include <typeinfo>
#include <vector>

#include "framework/LibraryLoaderFixture.h"
#include "support/Deadline.h"

// A class in a namespace of a plug-in's own, for the compiler's name of it.
namespace acme {
namespace dev {
class ThermoService {};
}  // namespace dev
}  // namespace acme

// Where the loader's records come from: the built-in table, and manifests read from folders.
namespace {

class LibraryManifestTest : public LibraryLoaderTest {};

const char* const kPath = "services/servicesframework/src/framework/LibraryLoader";

TEST_F(LibraryManifestTest, BuiltInRecordsAndNames) {
    // Init's records are UnifiedFactoryTest.InitAndResetLifecycle_NEGATIVE's; here, whose they are.
    const ZAMLogRecord completed = log_.records().at(2);
    EXPECT_EQ("library-loader", completed.logger);
    EXPECT_EQ(kPath, completed.file);

    EXPECT_EQ(
        (std::vector<std::string>{
            "SystemService closed services=N10ZAMUnified13SystemServiceE serviceIds=1000 "
            "authenticators=TALON,PYLON,PRISM,PRISMREFRESH authenticatorIds=1000,1001,1800,1801",
            "ConfigService closed services=N10ZAMUnified13ConfigServiceE serviceIds=1300 "
            "featureSets=N10ZAMUnified16ConfigFeatureSetE featureSetIds=1300",
            "HelloWorldService closed services=N10ZAMUnified17HelloWorldServiceE "
            "serviceIds=42876 featureSets=N10ZAMUnified20HelloWorldFeatureSetE "
            "featureSetIds=42876 authenticators=HELLOWORLD authenticatorIds=1801"}),
        listing());
    for (unsigned int id : {1000u, 1300u, 42876u}) {
        const auto record = loader_->getLibraryRecord(id);
        ASSERT_TRUE(record) << id;
        EXPECT_EQ(loader_->MakeFullPath(record->name), record->path);
    }
    EXPECT_EQ(KORCoreUtils::FileUtils::getAbsolutePath(
                  KORCoreUtils::FileUtils::getResourcesDirectory() + "/../lib/libSystemService.so"),
              loader_->MakeFullPath("SystemService"));
    EXPECT_FALSE(loader_->getLibraryRecord(1301));

    log_.forget();
    // Any namespace, nested or not, mangles as the platform does, so plug-ins outside ZAMUnified
    // register under names that the loader finds. (One level, in ZAMUnified and not, in
    // ManifestsAddRecords.)
    EXPECT_EQ(typeid(acme::dev::ThermoService).name(),
              loader_->MangleName("acme::dev::ThermoService"));
    EXPECT_EQ("", loader_->MangleName("NoColons"));
    EXPECT_EQ("", loader_->MangleName("a::::c"));
    EXPECT_EQ(std::vector<std::string>(
                  {"The name: NoColons\" is not valid.", "The name: a::::c\" is not valid."}),
              log_.messages(ZAMLOG_LEVEL_ERROR));
}

TEST_F(LibraryManifestTest, ManifestsAddRecords) {
    const std::string dir = manifest(
        "full",
        "<?xml version='1.0'?>\n<anything><!-- a comment --><name>Ignored</name><name>Full</name>"
        "<path>Full</path><other>x</other><version>2.1.0</version><version/>"
        "<services><service name='ZAMUnified::One' id='9001'/><bogus name='A::B' id='1'/>"
        "<service id='9002'/><service name='Two' id='abc'/><service name='a::::c' id='12abc'/>"
        "<service id='99999999999'/><service id='-1'/></services>"
        "<featuresets><featureset name='Other::Set' id='9003'/><featureset name='Flat'/>"
        "</featuresets><authenticators><authenticator id='9100' name='Mixed'/>"
        "<authenticator name='Only'/></authenticators>"
        "<services><service name='Name::Spaced&amp;' id=\"9&#x30;04\"/></services></anything>");
    loader_->LoadLibraryManifest(dir);
    const auto record = loader_->getLibraryRecord(9001);
    ASSERT_TRUE(record);
    EXPECT_EQ(
        "Full closed services=N10ZAMUnified3OneE,Two,a::::c,N4Name7Spaced&E "
        "serviceIds=9001,9002,0,12,0,4294967295,9004 featureSets=N5Other3SetE,Flat "
        "featureSetIds=9003 authenticators=Mixed,Only authenticatorIds=9100",
        describe(*record));
    // A later element without content replaces nothing, as for name and path.
    EXPECT_EQ("2.1.0", record->version);
    EXPECT_EQ(KORCoreUtils::FileUtils::getAbsolutePath(dir + "/libFull.so"), record->path);

    const std::string path = manifestPath("full");
    EXPECT_EQ(std::vector<std::string>(
                  {"The service: Two referenced in \"" + path + "\" is not valid.",
                   "The service: a::::c referenced in \"" + path + "\" is not valid.",
                   "The featureSet: Flat referenced in \"" + path + "\" is not valid."}),
              log_.messages(ZAMLOG_LEVEL_ERROR));
    const std::vector<std::string> info = log_.messages(ZAMLOG_LEVEL_INFO);
    EXPECT_EQ("Processing file: " + path, info.at(info.size() - 2));
    EXPECT_EQ("Completed Processing", info.back());

    // Unmangled names find only their exact text.
    log_.forget();
    loader_->LoadService("Two");
    EXPECT_EQ("Could not load Services Library Full, last error: ",
              log_.messages(ZAMLOG_LEVEL_ERROR).at(0).substr(0, 50));
}

TEST_F(LibraryManifestTest, NEGATIVE_ManifestsThatAddNothing) {
    const std::string services = "<services><service name='A::B' id='9500'/></services>";
    const char* const none = "No library specified in Services Library Manifest ";
    const char* const bad = "Error while loading Services Library manifest file ";
    // The folder, its manifest, and the one error record, which the manifest's path ends.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"noname", "<l><path>P</path>" + services + "</l>", none},
        {"nopath", "<l><name>N</name>" + services + "</l>", none},
        {"emptyname", "<l><name/><path>P</path>" + services + "</l>", none},
        {"emptypath", "<l><name>N</name><path></path>" + services + "</l>", none},
        {"nested", "<l><x><name>N</name><path>P</path></x>" + services + "</l>", none},
        {"malformed", "<l><name>N</name><path>P</path>" + services, bad},
        {"emptyfile", "", bad},
        {"notxml", "name=N path=P", bad},
    };
    for (const auto& [dir, xml, error] : cases) {
        SCOPED_TRACE(dir);
        log_.forget();
        loader_->LoadLibraryManifest(manifest(dir, xml));
        EXPECT_EQ(std::vector<std::string>({error + manifestPath(dir)}),
                  log_.messages(ZAMLOG_LEVEL_ERROR));
        EXPECT_FALSE(loader_->getLibraryRecord(9500));
    }
    log_.forget();
    loader_->ProcessLibraryManifest("");
    EXPECT_EQ(std::vector<std::string>({bad}), log_.messages(ZAMLOG_LEVEL_ERROR));
    log_.forget();
    const std::string missing = root_ + "/absent";
    loader_->LoadLibraryManifest(missing);
    EXPECT_EQ(std::vector<std::string>({"Processing file: " + missing + "/absent.xml",
                                        "File: " + missing + "/absent.xml doesn't exists",
                                        "Completed Processing"}),
              log_.messages());
}

// Manifests may be added on one thread while others search the record list.
TEST_F(LibraryManifestTest, RecordListToleratesConcurrentManifests) {
    for (int i = 0; i < 20; ++i) {
        manifest("m" + std::to_string(i), "<l><name>M</name><path>M</path><services><service id='" +
                                              std::to_string(8000 + i) + "'/></services></l>");
    }
    log_.setLevel(ZAMLOG_LEVEL_ERROR);
    std::thread adder([this] {
        for (int i = 0; i < 20; ++i) {
            loader_->LoadLibraryManifest(root_ + "/m" + std::to_string(i));
        }
    });
    EXPECT_TRUE(sftest::eventually([this] {
        loader_->LoadService(12345u);
        loader_->LoadAuthenticator("nobody");
        return loader_->getLibraryRecord(8019) != nullptr;
    }));
    adder.join();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(loader_->getLibraryRecord(8000 + i));
    }
}

}  // namespace
