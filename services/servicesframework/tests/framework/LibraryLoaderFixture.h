// The library loader's test fixture, shared by its suites: an initialised factory whose resources
// folder is a scratch folder, manifests written there on demand, and records as one line each.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H

#include <ZAMLogger.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/LogCapture.h"
#include "support/PluginFolder.h"

namespace {

using namespace ZAMUnified;

inline std::string pluginFile(const std::string& name) {
    return std::string(SF_TEST_PLUGIN_DIR) + "/lib" + name + ".so";
}

// The platform's text for a library file that is not there.
inline std::string notThere(const std::string& path) {
    return path + ": cannot open shared object file: No such file or directory";
}

// A record's name, state and keys as one line; a list is left out when empty.
inline std::string describe(const LibraryRecord& record) {
    std::ostringstream text;
    text << record.name << (record.handle ? " open" : " closed");
    const auto list = [&text](const char* label, const auto& items) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            text << (i == 0 ? std::string(" ") + label + "=" : ",") << items[i];
        }
    };
    list("services", record.serviceNames);
    list("serviceIds", record.serviceIds);
    list("featureSets", record.featureSetNames);
    list("featureSetIds", record.featureSetIds);
    list("authenticators", record.authenticatorNames);
    list("authenticatorIds", record.authenticatorIds);
    return text.str();
}

// An initialised factory whose resources folder is a scratch folder (so the built-in records name
// libraries that do not exist), manifests written there on demand and linked to the test
// plug-ins, and the loader's and factory's log records.
class LibraryLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        // Built-in records then point into the scratch folder, where no library exists.
        std::filesystem::create_directories(root_ + "/resources");
        setenv("ZAM_RESOURCES_DIR", (root_ + "/resources").c_str(), 1);
        factory_->Init();
        loader_ = factory_->getLibraryLoader();
    }
    void TearDown() override {
        factory_->Reset();
        unsetenv("ZAM_RESOURCES_DIR");
    }

    // Writes <root>/<dir>/<dir>.xml and links the test plug-in `plugin` there, when given.
    std::string manifest(const std::string& dir, const std::string& xml,
                         const std::string& plugin = "") {
        return folder_.add(dir, xml, plugin.empty() ? "" : pluginFile(plugin), plugin);
    }
    std::string manifestPath(const std::string& dir) {
        return root_ + "/" + dir + "/" + dir + ".xml";
    }
    // Makes a manifest of the plug-in `name` known to the loader; `link` false leaves its file
    // missing.
    void addPlugin(const std::string& dir, const std::string& name, const std::string& body,
                   bool link = true) {
        loader_->LoadLibraryManifest(manifest(
            dir,
            "<library><name>" + name + "</name><path>" + name + "</path>" + body + "</library>",
            link ? name : ""));
    }
    std::vector<std::string> listing() {
        std::vector<std::string> lines;
        for (const LibraryRecord& record : loader_->getLibraryRecords()) {
            lines.push_back(describe(record));
        }
        return lines;
    }
    void addTestServices(const std::string& dir = "testservices", bool link = true) {
        addPlugin(dir, "TestServices",
                  "<services><service name='ZAMUnified::TestAlphaService' id='7001'/></services>"
                  "<featuresets><featureset name='ZAMUnified::TestFeatureSet' id='7001'/>"
                  "</featuresets><authenticators><authenticator id='7100' name='ALPHA'/>"
                  "<authenticator id='7101' name='BETA'/></authenticators>",
                  link);
    }

    sftest::LogCapture log_{{"library-loader", "unified-factory"}};
    sftest::PluginFolder folder_;
    std::string root_ = folder_.root().string();
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
    std::shared_ptr<LibraryLoader> loader_;
};

}  // namespace

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H
