#include "NewPlugin.h"

#include <gtest/gtest.h>

#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>
#include <utility>

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

const std::string letters =
    "\" cannot name a library: it must start with a letter and hold only letters, digits and "
    "single underscores";

TEST(NewPluginTest, NEGATIVE_NamesThatCannotNameALibrary) {
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
}

// The project is complete and compiles against the framework's headers as it stands.
TEST(NewPluginTest, WritesAProjectThatCompilesAndSaysHowToBuildIt) {
    const sftest::PluginFolder scratch;
    const std::string dir = scratch.root() / "thermo project";
    // "@" stands for the directory.
    const std::string said = std::regex_replace(
        "Wrote the service library Thermo to @:\n  CMakeLists.txt\n  README.md\n"
        "  manifest/Thermo.xml.in\n  src/ThermoService.h\n  src/ThermoService.cpp\n"
        "  src/ThermoLibrary.cpp\n  tests/ThermoTest.cpp\nBuild and test it:\n  cmake -S '@' -B "
        "'@/build' -DCMAKE_PREFIX_PATH=/opt/sf\n  cmake --build '@/build' && ctest --test-dir "
        "'@/build'\nThen check it and call it:\n  svcsh check '@/build/Thermo'\n  svcsh "
        "--manifest '@/build/Thermo' -e 'ThermoService/greet(name=\"Ada\")'\n",
        std::regex("@"), dir);
    EXPECT_EQ(std::make_tuple(svcsh::kNewPluginWritten, said, std::string()),
              generate("Thermo", dir));
    std::string written;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        written += entry.is_regular_file() ? read(entry.path()) : "";
    }
    EXPECT_EQ(std::string::npos, written.find("{{"))
        << "placeholder left unfilled: " << written.substr(written.find("{{"), 80);
    const std::string manifest = read(dir + "/manifest/Thermo.xml.in");
    EXPECT_NE(std::string::npos, manifest.find("<service name=\"thermo::ThermoService\" id=\"5"))
        << manifest;

    const std::string command = std::string(SVCSH_CXX_COMPILER) + " @" + SVCSH_COMPILE_OPTIONS +
                                " '-DPLUGIN_DIR=\"x\"' '" + dir + "/src/ThermoService.cpp' '" +
                                dir + "/src/ThermoLibrary.cpp' '" + dir +
                                "/tests/ThermoTest.cpp' 2>&1";
    EXPECT_EQ(0, std::system(command.c_str()));
}

// A bad name is refused with the usage, before the directory is looked at; a directory inside a
// file cannot be made, so the first write fails. An empty directory is fine.
TEST(NewPluginTest, NEGATIVE_NothingIsOverwrittenOrLeftHalfMade) {
    const sftest::PluginFolder scratch;
    const fs::path taken = scratch.root() / "taken";
    const fs::path file = taken / "CMakeLists.txt";
    fs::create_directories(taken);
    std::ofstream(file) << "mine\n";
    const std::string said = "svcsh new-plugin: ";
    const std::tuple<std::string, fs::path, int, std::string> cases[] = {
        {"2cool", scratch.root() / "p", svcsh::kNewPluginUsage,
         said + "\"2cool" + letters +
             "\nusage: svcsh new-plugin NAME [DIR]\nWrites a service library project named NAME "
             "into DIR (default ./NAME), which must not exist\nor be empty: a service with "
             "properties and methods, a feature set, the manifest, and a test\nthat loads it "
             "through GetFactory, built with CMake against the installed framework.\n"},
        {"Thermo", taken, svcsh::kNewPluginFailed,
         said + taken.string() + " is not empty; nothing was written\n"},
        {"Thermo", file, svcsh::kNewPluginFailed,
         said + file.string() + " exists and is not a directory; nothing was written\n"},
        {"Thermo", file / "sub", svcsh::kNewPluginFailed,
         said + "cannot make " + (file / "sub").string() + ": Not a directory; nothing was kept\n"},
    };
    for (const auto& [name, dir, status, err] : cases) {
        EXPECT_EQ(std::make_tuple(status, std::string(), err), generate(name, dir));
    }
    EXPECT_EQ("mine\n", read(file));
    EXPECT_FALSE(fs::exists(scratch.root() / "p"));

    fs::create_directories(scratch.root() / "empty");
    EXPECT_EQ(svcsh::kNewPluginWritten, std::get<0>(generate("Thermo", scratch.root() / "empty")));
    EXPECT_TRUE(fs::exists(scratch.root() / "empty" / "src" / "ThermoLibrary.cpp"));
}

}  // namespace
