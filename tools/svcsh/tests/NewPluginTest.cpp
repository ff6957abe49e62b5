#include "NewPlugin.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The generator's exit status, standard output and standard error.
std::tuple<int, std::string, std::string> generate(const std::string& name, const fs::path& dir) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = svcsh::newPlugin(name, dir.string(), "/opt/sf", out, err);
    return {status, out.str(), err.str()};
}

TEST(NewPluginTest, NEGATIVE_NamesThatCannotNameALibrary) {
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
        {std::string(65, 'x'), "\"" + std::string(65, 'x') + "\" is longer than 64 characters"},
    };
    for (const auto& [name, problem] : cases) {
        EXPECT_EQ(problem, svcsh::pluginNameProblem(name)) << name;
    }
    const sftest::PluginFolder scratch;
    const auto [status, out, err] = generate("2cool", scratch.root() / "p");
    EXPECT_EQ(svcsh::kNewPluginUsage, status);
    EXPECT_EQ(0u, err.find("svcsh new-plugin: \"2cool" + letters + "\nusage: svcsh new-plugin "))
        << err;
    EXPECT_FALSE(fs::exists(scratch.root() / "p"));
}

// The project is complete and compiles against the framework's headers as it stands.
TEST(NewPluginTest, WritesAProjectThatCompilesAndSaysHowToBuildIt) {
    const sftest::PluginFolder scratch;
    const std::string dir = scratch.root() / "thermo project";
    const std::string quoted = "'" + dir;
    EXPECT_EQ(std::make_tuple(svcsh::kNewPluginWritten,
                              "Wrote the service library Thermo to " + dir +
                                  ":\n  CMakeLists.txt\n  README.md\n  manifest/Thermo.xml.in\n"
                                  "  src/ThermoService.h\n  src/ThermoService.cpp\n"
                                  "  src/ThermoLibrary.cpp\n  tests/ThermoTest.cpp\n"
                                  "Build and test it:\n  cmake -S " +
                                  quoted + "' -B " + quoted +
                                  "/build' -DCMAKE_PREFIX_PATH=/opt/sf\n  cmake --build " + quoted +
                                  "/build' && ctest --test-dir " + quoted +
                                  "/build'\nThen check it and call it:\n  svcsh check " + quoted +
                                  "/build/Thermo'\n  svcsh --manifest " + quoted +
                                  "/build/Thermo' -e 'ThermoService/greet(name=\"Ada\")'\n",
                              std::string()),
              generate("Thermo", dir));
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

    const std::string command = std::string(SVCSH_CXX_COMPILER) + " @" + SVCSH_COMPILE_OPTIONS +
                                " '-DPLUGIN_DIR=\"x\"' '" + dir + "/src/ThermoService.cpp' '" +
                                dir + "/src/ThermoLibrary.cpp' '" + dir +
                                "/tests/ThermoTest.cpp' 2>&1";
    EXPECT_EQ(0, std::system(command.c_str()));
}

TEST(NewPluginTest, NEGATIVE_NothingIsOverwrittenOrLeftHalfMade) {
    const sftest::PluginFolder scratch;
    const fs::path taken = scratch.root() / "taken";
    const fs::path file = taken / "CMakeLists.txt";
    fs::create_directories(taken);
    std::ofstream(file) << "mine\n";
    EXPECT_EQ(std::make_tuple(
                  svcsh::kNewPluginFailed, std::string(),
                  "svcsh new-plugin: " + taken.string() + " is not empty; nothing was written\n"),
              generate("Thermo", taken));
    EXPECT_EQ(std::make_tuple(svcsh::kNewPluginFailed, std::string(),
                              "svcsh new-plugin: " + file.string() +
                                  " exists and is not a directory; nothing was written\n"),
              generate("Thermo", file));
    // A directory inside a file cannot be made: the first write fails and nothing stays.
    const auto [status, out, err] = generate("Thermo", file / "sub");
    EXPECT_EQ(svcsh::kNewPluginFailed, status);
    EXPECT_EQ(0u, err.find("svcsh new-plugin: cannot make " + (file / "sub").string() + ": "))
        << err;
    EXPECT_NE(std::string::npos, err.find("; nothing was kept\n")) << err;
    EXPECT_EQ("mine\n", read(file));

    // An empty directory is fine.
    fs::create_directories(scratch.root() / "empty");
    EXPECT_EQ(svcsh::kNewPluginWritten, std::get<0>(generate("Thermo", scratch.root() / "empty")));
    EXPECT_TRUE(fs::exists(scratch.root() / "empty" / "src" / "ThermoLibrary.cpp"));
}

}  // namespace
