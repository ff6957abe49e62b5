#include "NewPlugin.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;

class NewPluginTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(root_.empty()); }

    int generate(const std::string& name, const std::string& directory) {
        std::ostringstream out;
        std::ostringstream err;
        const int status = svcsh::newPlugin(name, directory, "/opt/sf", out, err);
        out_ = out.str();
        err_ = err.str();
        return status;
    }
    static std::string read(const fs::path& path) {
        std::ifstream file(path);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    const sftest::PluginFolder scratch_;
    const std::string root_ = scratch_.root().string();
    std::string out_;
    std::string err_;
};

TEST_F(NewPluginTest, NEGATIVE_NamesThatCannotNameALibrary) {
    const std::string letters =
        "\" cannot name a library: it must start with a letter and hold only letters, digits and "
        "single underscores";
    const std::string reserved = "\", which C++ or the framework reserves";
    const std::pair<std::string, std::string> cases[] = {
        {"Thermo", ""},
        {"thermo_2", ""},
        {"", "a library needs a name"},
        {"2cool", "\"2cool" + letters},
        {"my-plugin", "\"my-plugin" + letters},
        {"a__b", "\"a__b" + letters},
        {"_x", "\"_x" + letters},
        {"Delete", "\"Delete\" cannot name a library: its namespace would be \"delete" + reserved},
        {"ZAMUnified",
         "\"ZAMUnified\" cannot name a library: its namespace would be \"zamunified" + reserved},
    };
    for (const auto& [name, problem] : cases) {
        EXPECT_EQ(problem, svcsh::pluginNameProblem(name)) << name;
    }
    EXPECT_EQ("\"" + std::string(65, 'x') + "\" is longer than 64 characters",
              svcsh::pluginNameProblem(std::string(65, 'x')));
    EXPECT_EQ(svcsh::kNewPluginUsage, generate("2cool", root_ + "/p"));
    EXPECT_EQ(0u, err_.find("svcsh new-plugin: \"2cool\" cannot name a library"));
    EXPECT_FALSE(fs::exists(root_ + "/p"));
}

// The project is complete and compiles against the framework's headers as it stands.
TEST_F(NewPluginTest, WritesAProjectThatCompilesAndSaysHowToBuildIt) {
    const std::string dir = root_ + "/thermo project";
    ASSERT_EQ(svcsh::kNewPluginWritten, generate("Thermo", dir)) << err_;
    EXPECT_EQ("", err_);
    const std::string quoted = "'" + dir + "'";
    EXPECT_EQ("Wrote the service library Thermo to " + dir +
                  ":\n"
                  "  CMakeLists.txt\n"
                  "  README.md\n"
                  "  manifest/Thermo.xml.in\n"
                  "  src/ThermoService.h\n"
                  "  src/ThermoService.cpp\n"
                  "  src/ThermoLibrary.cpp\n"
                  "  tests/ThermoTest.cpp\n"
                  "Build and test it:\n"
                  "  cmake -S " +
                  quoted + " -B '" + dir +
                  "/build' -DCMAKE_PREFIX_PATH=/opt/sf\n"
                  "  cmake --build '" +
                  dir + "/build' && ctest --test-dir '" + dir +
                  "/build'\n"
                  "Then check it and call it:\n"
                  "  svcsh check '" +
                  dir +
                  "/build/Thermo'\n"
                  "  svcsh --manifest '" +
                  dir + "/build/Thermo' -e 'ThermoService/greet(name=\"Ada\")'\n",
              out_);
    std::vector<std::string> leftovers;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file() && read(entry.path()).find("{{") != std::string::npos) {
            leftovers.push_back(entry.path().string());
        }
    }
    EXPECT_EQ(std::vector<std::string>{}, leftovers) << "placeholders left unfilled";
    const std::string manifest = read(dir + "/manifest/Thermo.xml.in");
    EXPECT_NE(std::string::npos, manifest.find("<service name=\"thermo::ThermoService\" id=\"5"))
        << manifest;

    for (const char* source :
         {"src/ThermoService.cpp", "src/ThermoLibrary.cpp", "tests/ThermoTest.cpp"}) {
        const std::string command = std::string(SVCSH_CXX_COMPILER) + " @" + SVCSH_COMPILE_OPTIONS +
                                    " '-DPLUGIN_DIR=\"x\"' '" + dir + "/" + source + "' 2>&1";
        EXPECT_EQ(0, std::system(command.c_str())) << source;
    }
}

TEST_F(NewPluginTest, NEGATIVE_NothingIsOverwrittenOrLeftHalfMade) {
    const fs::path taken = fs::path(root_) / "taken";
    fs::create_directories(taken);
    std::ofstream(taken / "CMakeLists.txt") << "mine\n";
    EXPECT_EQ(svcsh::kNewPluginFailed, generate("Thermo", taken.string()));
    EXPECT_EQ("svcsh new-plugin: " + taken.string() + " is not empty; nothing was written\n", err_);
    EXPECT_EQ("mine\n", read(taken / "CMakeLists.txt"));

    const fs::path file = taken / "CMakeLists.txt";
    EXPECT_EQ(svcsh::kNewPluginFailed, generate("Thermo", file.string()));
    EXPECT_EQ("svcsh new-plugin: " + file.string() +
                  " exists and is not a directory; nothing was written\n",
              err_);

    // A directory inside a file cannot be made: the first write fails and nothing stays.
    const fs::path inside = file / "sub";
    EXPECT_EQ(svcsh::kNewPluginFailed, generate("Thermo", inside.string()));
    EXPECT_EQ(0u, err_.find("svcsh new-plugin: cannot make " + inside.string() + ": ")) << err_;
    EXPECT_NE(std::string::npos, err_.find("; nothing was kept\n")) << err_;
    EXPECT_EQ("mine\n", read(file));

    // An empty directory is fine.
    const fs::path empty = fs::path(root_) / "empty";
    fs::create_directories(empty);
    EXPECT_EQ(svcsh::kNewPluginWritten, generate("Thermo", empty.string())) << err_;
    EXPECT_TRUE(fs::exists(empty / "src" / "ThermoLibrary.cpp"));
}

}  // namespace
