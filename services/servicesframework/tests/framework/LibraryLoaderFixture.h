// The fixture the library loader's tests share: an initialised factory whose resources folder is
// a scratch folder (so the built-in records name libraries that do not exist), manifests written
// there on demand and linked to the test plug-ins, and the loader's and factory's log records.
#ifndef SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H
#define SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H

#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "support/LogCapture.h"

namespace sftest {

inline std::string pluginFile(const std::string& name) {
    return std::string(SF_TEST_PLUGIN_DIR) + "/lib" + name + ".so";
}

class LibraryLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/sf-loader-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        // Built-in records then point into the scratch folder, where no library exists.
        std::filesystem::create_directories(root_ + "/resources");
        setenv("ZAM_RESOURCES_DIR", (root_ + "/resources").c_str(), 1);
        factory_->Init();
        loader_ = factory_->getLibraryLoader();
    }
    void TearDown() override {
        factory_->Reset();
        unsetenv("ZAM_RESOURCES_DIR");
        std::filesystem::remove_all(root_);
    }

    // Writes <root>/<dir>/<dir>.xml and links the plug-in files the manifest's paths name.
    std::string manifest(const std::string& dir, const std::string& xml,
                         const std::vector<std::string>& plugins = {}) {
        const std::filesystem::path folder = std::filesystem::path(root_) / dir;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / (dir + ".xml")) << xml;
        for (const std::string& plugin : plugins) {
            std::filesystem::create_symlink(pluginFile(plugin), folder / ("lib" + plugin + ".so"));
        }
        return folder.string();
    }
    std::string manifestPath(const std::string& dir) {
        return (std::filesystem::path(root_) / dir / (dir + ".xml")).string();
    }
    // Makes a manifest of the plug-in `name` known to the loader; `link` false leaves its file
    // missing.
    void addPlugin(const std::string& dir, const std::string& name, const std::string& body,
                   bool link = true) {
        loader_->LoadLibraryManifest(manifest(
            dir,
            "<library><name>" + name + "</name><path>" + name + "</path>" + body + "</library>",
            link ? std::vector<std::string>{name} : std::vector<std::string>{}));
    }
    void addTestServices(const std::string& dir = "testservices") {
        addPlugin(dir, "TestServices",
                  "<services><service name='ZAMUnified::TestAlphaService' id='7001'/></services>"
                  "<featuresets><featureset name='ZAMUnified::TestFeatureSet' id='7001'/>"
                  "</featuresets><authenticators><authenticator id='7100' name='ALPHA'/>"
                  "<authenticator id='7101' name='BETA'/></authenticators>");
    }

    LogCapture log_{{"library-loader", "unified-factory"}};
    std::shared_ptr<ZAMUnified::UnifiedFactory> factory_ =
        std::make_shared<ZAMUnified::UnifiedFactory>();
    std::shared_ptr<ZAMUnified::LibraryLoader> loader_;
    std::string root_;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_FRAMEWORK_LIBRARYLOADERFIXTURE_H
