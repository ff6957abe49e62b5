#include "NewPlugin.h"

#include "NewPluginTemplates.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <utility>
#include <vector>

namespace svcsh {

namespace {

namespace fs = std::filesystem;

const char* const kUsage =
    "usage: svcsh new-plugin NAME [DIR]\n"
    "Writes a service library project named NAME into DIR (default ./NAME), which must not exist\n"
    "or be empty: a service with properties and methods, a feature set, the manifest, and a test\n"
    "that loads it through GetFactory, built with CMake against the installed framework.\n";

// Where each template goes; the path is filled in like the text.
const struct {
    const char* templateName;
    const char* path;
} kOutputs[] = {
    {"CMakeLists.txt", "CMakeLists.txt"},
    {"README.md", "README.md"},
    {"manifest.xml.in", "manifest/{{Name}}.xml.in"},
    {"Service.h", "src/{{Name}}Service.h"},
    {"Service.cpp", "src/{{Name}}Service.cpp"},
    {"Library.cpp", "src/{{Name}}Library.cpp"},
    {"Test.cpp", "tests/{{Name}}Test.cpp"},
};

// The name in lower case becomes the namespace, so it must not be a keyword of C++ or a namespace
// that the framework or the standard library owns. Separated and surrounded by blanks.
const char* const kReservedNamespaces =
    " alignas alignof and and_eq asm auto bitand bitor bool break case catch char char16_t"
    " char32_t char8_t class co_await co_return co_yield compl concept const const_cast consteval"
    " constexpr constinit continue decltype default delete do double dynamic_cast else enum"
    " explicit export extern false float for friend goto if inline int long mutable namespace new"
    " noexcept not not_eq nullptr operator or or_eq private protected public register"
    " reinterpret_cast requires return short signed sizeof static static_assert static_cast"
    " struct switch template this thread_local throw true try typedef typeid typename union"
    " unsigned using virtual void volatile wchar_t while xor xor_eq"
    " std posix zam zamunified korcoreutils ";

const std::size_t kLongestName = 64;

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string upperCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// A service id from the name, the same every time, in a range the built-in libraries leave free.
unsigned int serviceId(const std::string& name) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : name) {
        hash = (hash ^ c) * 16777619u;
    }
    return 50000u + hash % 10000u;
}

std::string filledIn(std::string text,
                     const std::vector<std::pair<std::string, std::string>>& values) {
    for (const auto& value : values) {
        for (std::size_t at = text.find(value.first); at != std::string::npos;
             at = text.find(value.first, at + value.second.size())) {
            text.replace(at, value.first.size(), value.second);
        }
    }
    return text;
}

// The word as a shell reads it back: quoted when it holds anything but plain path characters.
std::string shellWord(const std::string& word) {
    bool plain = !word.empty();
    for (unsigned char c : word) {
        plain = plain && (std::isalnum(c) || std::strchr("/._-+:=@,", c) != nullptr);
    }
    if (plain) {
        return word;
    }
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

const std::string* templateText(const std::string& name) {
    for (const PluginTemplate& entry : pluginTemplates()) {
        if (entry.name == name) {
            return &entry.text;
        }
    }
    return nullptr;
}

// Writes `text` to `path`, making its directory; false with `problem` set when it cannot.
bool writeFile(const fs::path& path, const std::string& text, std::string& problem) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error) {
        problem = "cannot make " + path.parent_path().string() + ": " + error.message();
        return false;
    }
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
        problem = "cannot write " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string pluginNameProblem(const std::string& name) {
    if (name.empty()) {
        return "a library needs a name";
    }
    const std::string quoted = "\"" + name + "\"";
    if (name.size() > kLongestName) {
        return quoted + " is longer than " + std::to_string(kLongestName) + " characters";
    }
    bool lettersAndDigits = std::isalpha(static_cast<unsigned char>(name[0])) != 0;
    for (unsigned char c : name) {
        lettersAndDigits = lettersAndDigits && (std::isalnum(c) || c == '_') && c < 128;
    }
    if (!lettersAndDigits || name.find("__") != std::string::npos) {
        return quoted +
               " cannot name a library: it must start with a letter and hold only letters, "
               "digits and single underscores";
    }
    if (std::strstr(kReservedNamespaces, (" " + lowerCase(name) + " ").c_str()) != nullptr) {
        return quoted + " cannot name a library: its namespace would be \"" + lowerCase(name) +
               "\", which C++ or the framework reserves";
    }
    return std::string();
}

int newPlugin(const std::string& name, const std::string& directory,
              const std::string& frameworkPrefix, std::ostream& out, std::ostream& err) {
    const std::string problem = pluginNameProblem(name);
    if (!problem.empty()) {
        err << "svcsh new-plugin: " << problem << "\n" << kUsage;
        return kNewPluginUsage;
    }
    std::error_code error;
    const fs::path root = fs::absolute(directory.empty() ? fs::path(name) : fs::path(directory));
    const bool existed = fs::exists(root, error);
    if (existed && !fs::is_directory(root, error)) {
        err << "svcsh new-plugin: " << root.string()
            << " exists and is not a directory; nothing was written\n";
        return kNewPluginFailed;
    }
    if (existed && !fs::is_empty(root, error)) {
        err << "svcsh new-plugin: " << root.string() << " is not empty; nothing was written\n";
        return kNewPluginFailed;
    }

    const unsigned int id = serviceId(name);
    const std::vector<std::pair<std::string, std::string>> values = {
        {"{{Name}}", name},
        {"{{NAME}}", upperCase(name)},
        {"{{namespace}}", lowerCase(name)},
        {"{{Id}}", std::to_string(id)},
        {"{{PackageVersion}}", SVCSH_PACKAGE_VERSION},
    };
    std::vector<std::string> written;
    std::string failure;
    for (const auto& output : kOutputs) {
        const std::string* text = templateText(output.templateName);
        const std::string path = filledIn(output.path, values);
        if (text == nullptr) {
            failure = std::string("svcsh was built without the template ") + output.templateName;
        } else if (writeFile(root / path, filledIn(*text, values), failure)) {
            written.push_back(path);
            continue;
        }
        // Leaves no half-made project behind in a directory that was not there before.
        if (!existed) {
            fs::remove_all(root, error);
        } else {
            for (const std::string& done : written) {
                fs::remove(root / done, error);
            }
        }
        err << "svcsh new-plugin: " << failure << "; nothing was kept\n";
        return kNewPluginFailed;
    }

    const std::string dir = shellWord(root.string());
    const std::string build = shellWord((root / "build").string());
    const std::string pluginDir = shellWord((root / "build" / name).string());
    out << "Wrote the service library " << name << " to " << root.string() << ":\n";
    for (const std::string& path : written) {
        out << "  " << path << "\n";
    }
    out << "Build and test it:\n"
        << "  cmake -S " << dir << " -B " << build << " -DCMAKE_PREFIX_PATH="
        << (frameworkPrefix.empty() ? "<framework prefix>" : shellWord(frameworkPrefix)) << "\n"
        << "  cmake --build " << build << " && ctest --test-dir " << build << "\n"
        << "Then check it and call it:\n"
        << "  svcsh check " << pluginDir << "\n"
        << "  svcsh --manifest " << pluginDir << " -e '" << name
        << "Service/greet(name=\"Ada\")'\n";
    return kNewPluginWritten;
}

int newPluginCommand(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 2, argv + argc);
    if (!arguments.empty() && (arguments[0] == "-h" || arguments[0] == "--help")) {
        std::cout << kUsage;
        return kNewPluginWritten;
    }
    if (arguments.empty() || arguments.size() > 2) {
        std::cerr << "svcsh new-plugin: "
                  << (arguments.empty() ? "needs a name" : "takes a name and a directory only")
                  << "\n"
                  << kUsage;
        return kNewPluginUsage;
    }
    // An installed svcsh lies in <prefix>/bin, beside the package that CMake finds.
    std::string prefix;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        const fs::path candidate = self.parent_path().parent_path();
        if (fs::exists(candidate / SVCSH_INSTALL_LIBDIR / "cmake" / "ServicesFramework" /
                           "ServicesFrameworkConfig.cmake",
                       error)) {
            prefix = candidate.string();
        }
    }
    return newPlugin(arguments[0], arguments.size() > 1 ? arguments[1] : std::string(), prefix,
                     std::cout, std::cerr);
}

}  // namespace svcsh
