// svcsh, the services shell. It loads the framework as any host does (GetFactory, looked up by
// name in libservicesframework.so), makes this thread the dispatcher thread, and runs requests
// from -e options, a script file, standard input, or an interactive prompt, pumping the
// dispatcher between lines and while it waits for input.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <ServicesFramework.h>

#include "Interrupt.h"
#include "NewPlugin.h"
#include "PluginCheck.h"
#include "Prompt.h"
#include "Shell.h"

namespace {

const char* const kUsage =
    "usage: svcsh [options] [SCRIPT | -]\n"
    "       svcsh check DIR...\n"
    "Drives services by text. Without -e or SCRIPT it reads standard input, with a prompt\n"
    "when that is a terminal. Type 'help' for the request syntax and the commands.\n"
    "\n"
    "  -e REQUEST        run REQUEST (a request or a command); repeatable, before SCRIPT\n"
    "  --manifest DIR    make the library described by DIR/<name of DIR>.xml known; repeatable\n"
    "  --resources DIR   the resources directory (default: $ZAM_RESOURCES_DIR, else\n"
    "                    <directory of svcsh>/../resources)\n"
    "  --json            print results, failures and notifications as JSON objects, one a line\n"
    "  --keep-going      run the remaining lines after a failure\n"
    "  --reveal          print secure strings in clear instead of ********\n"
    "  -h, --help        this text\n"
    "\n"
    "check DIR reads DIR/<name of DIR>.xml, loads the library it names into a factory of its own\n"
    "and reports what the manifest promises and the library registers; it exits 1 on a problem.\n"
    "\n"
    "Exit status: 0 when every line succeeded, 1 when one failed, 2 for a usage error or a\n"
    "framework that cannot be loaded.\n";

struct Arguments {
    std::vector<std::string> requests;
    std::vector<std::string> manifests;
    std::string resources;
    std::string script;
    bool keepGoing = false;
    svcsh::Options options;
};

int usageError(const std::string& message) {
    std::cerr << "svcsh: " << message << "\n" << kUsage;
    return 2;
}

// Returns -1 when parsing succeeded, else the exit status.
int parseArguments(int argc, char** argv, Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                return false;
            }
            target = argv[++i];
            return true;
        };
        std::string text;
        if (argument == "-h" || argument == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (argument == "-e") {
            if (!value(text)) {
                return usageError("-e needs a request");
            }
            arguments.requests.push_back(text);
        } else if (argument == "--manifest") {
            if (!value(text)) {
                return usageError("--manifest needs a directory");
            }
            arguments.manifests.push_back(text);
        } else if (argument == "--resources") {
            if (!value(arguments.resources)) {
                return usageError("--resources needs a directory");
            }
        } else if (argument == "--json") {
            arguments.options.json = true;
        } else if (argument == "--keep-going") {
            arguments.keepGoing = true;
        } else if (argument == "--reveal") {
            arguments.options.reveal = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return usageError("unknown option " + argument);
        } else if (!arguments.script.empty()) {
            return usageError("only one script may be given");
        } else {
            arguments.script = argument;
        }
    }
    return -1;
}

// Built-in library records look for <resources>/../lib/lib<Name>.so; beside an installed or
// built svcsh that is the lib directory next to its bin.
void chooseResources(const Arguments& arguments) {
    namespace fs = std::filesystem;
    if (!arguments.resources.empty()) {
        setenv("ZAM_RESOURCES_DIR", fs::absolute(arguments.resources).c_str(), 1);
        return;
    }
    if (getenv("ZAM_RESOURCES_DIR") != nullptr) {
        return;
    }
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        setenv("ZAM_RESOURCES_DIR", (self.parent_path().parent_path() / "resources").c_str(), 1);
    }
}

ZAMUnified::ServiceFactory* loadFramework() {
    void* framework = dlopen(SVCSH_FRAMEWORK_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
    if (framework == nullptr) {
        std::cerr << "svcsh: cannot load the framework: " << dlerror() << "\n";
        return nullptr;
    }
    auto getFactory = reinterpret_cast<GetFactoryFunction>(dlsym(framework, "GetFactory"));
    if (getFactory == nullptr) {
        std::cerr << "svcsh: the framework has no GetFactory entry\n";
        return nullptr;
    }
    const wchar_t* name = nullptr;
    ZAMUnified::ServiceFactory* factory = nullptr;
    getFactory(&name, &factory);
    if (factory == nullptr) {
        std::cerr << "svcsh: GetFactory gave no factory\n";
    }
    return factory;
}

// Lines from a stream; stops at the first failure unless keepGoing.
bool runStream(svcsh::Shell& shell, std::istream& input, const std::string& source,
               bool keepGoing) {
    bool ok = true;
    std::string line;
    for (int number = 1; !shell.quitRequested() && std::getline(input, line); ++number) {
        if (!shell.runLine(line, source + ":" + std::to_string(number))) {
            ok = false;
            if (!keepGoing) {
                break;
            }
        }
        if (svcsh::takeInterrupt()) {
            std::cerr << source << ":" << number << ": interrupted" << std::endl;
            return false;
        }
    }
    return ok;
}

}  // namespace

// svcsh check DIR...: the worst status of the directories.
int checkPlugins(int argc, char** argv) {
    if (argc < 3) {
        return usageError("check needs a plug-in directory");
    }
    int status = svcsh::kCheckPassed;
    for (int i = 2; i < argc; ++i) {
        status = std::max(status, svcsh::checkPluginDirectory(argv[i], std::cout));
    }
    return status;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "check") {
        return checkPlugins(argc, argv);
    }
    if (argc > 1 && std::string(argv[1]) == "new-plugin") {
        return svcsh::newPluginCommand(argc, argv);
    }
    Arguments arguments;
    const int parsed = parseArguments(argc, argv, arguments);
    if (parsed >= 0) {
        return parsed;
    }
    chooseResources(arguments);
    ZAMUnified::ServiceFactory* factory = loadFramework();
    if (factory == nullptr) {
        return 2;
    }
    // The first use of the factory makes this thread the dispatcher thread.
    const auto unified = factory->getUnifiedFactory();
    if (!unified) {
        std::cerr << "svcsh: the factory is not the framework's own\n";
        return 2;
    }

    bool ok = true;
    {
        svcsh::Shell shell(*factory, unified, std::cout, std::cerr, arguments.options);
        for (const std::string& manifest : arguments.manifests) {
            if (!shell.loadManifest(manifest)) {
                return 2;
            }
        }
        // Ctrl-C ends the running step (a pump, a watch wait) and stops the run; a second one
        // ends svcsh even in the middle of service code.
        svcsh::catchInterrupts();
        bool interrupted = false;
        for (std::size_t i = 0; i < arguments.requests.size() && !shell.quitRequested(); ++i) {
            if (!shell.runLine(arguments.requests[i], "-e " + std::to_string(i + 1))) {
                ok = false;
                if (!arguments.keepGoing) {
                    break;
                }
            }
            if (svcsh::takeInterrupt()) {
                std::cerr << "-e " << i + 1 << ": interrupted" << std::endl;
                ok = false;
                interrupted = true;
                break;
            }
        }
        const bool stop = interrupted || (!ok && !arguments.keepGoing);
        if (!stop && !arguments.script.empty() && arguments.script != "-") {
            std::ifstream script(arguments.script);
            if (!script) {
                std::cerr << "svcsh: cannot read " << arguments.script << ": "
                          << std::strerror(errno) << "\n";
                return 2;
            }
            ok = runStream(shell, script, arguments.script, arguments.keepGoing) && ok;
        } else if (!stop && (arguments.script == "-" || arguments.requests.empty())) {
            if (arguments.script.empty() && isatty(STDIN_FILENO)) {
                svcsh::runPrompt(shell);
            } else {
                ok = runStream(shell, std::cin, "stdin", arguments.keepGoing) && ok;
            }
        }
        shell.pump();
    }
    // Leaves nothing registered that would keep the factory's objects alive past main.
    factory->reset();
    return ok ? 0 : 1;
}
