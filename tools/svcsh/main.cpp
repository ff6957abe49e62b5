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
#include <ZAMUnified/Console.h>

#include "Interrupt.h"
#include "NewPlugin.h"
#include "PluginCheck.h"
#include "Prompt.h"
#include "Shell.h"
#include "Text.h"

namespace {

const char* const kUsage =
    "usage: svcsh [options] [SCRIPT | -]\n"
    "       svcsh serve [--console ENDPOINT] [--timeout MS] [--manifest DIR]... [--reveal]\n"
    "       svcsh hosts\n"
    "       svcsh new-plugin NAME [DIR]\n"
    "       svcsh check DIR...\n"
    "Drives services by text. Without -e or SCRIPT it reads standard input, with a prompt\n"
    "when that is a terminal. Type 'help' for the request syntax and the commands.\n"
    "\n"
    "  -e REQUEST        run REQUEST (a request or a command); repeatable, before SCRIPT\n"
    "  --connect ENDPOINT  drive the running host whose console listens there (unix:PATH or\n"
    "                    tcp:HOST:PORT) instead of this process; its token comes from --token,\n"
    "                    $SF_CONSOLE_TOKEN or the host's discovery file\n"
    "  --token TOKEN     the console's token, for --connect\n"
    "  --manifest DIR    make the library described by DIR/<name of DIR>.xml known; repeatable\n"
    "  --resources DIR   the resources directory (default: $ZAM_RESOURCES_DIR, else\n"
    "                    <directory of svcsh>/../resources)\n"
    "  --json            print results, failures and notifications as JSON objects, one a line\n"
    "  --keep-going      run the remaining lines after a failure\n"
    "  --reveal          print secure strings in clear instead of ********\n"
    "  -h, --help        this text\n"
    "\n"
    "serve is a host: it serves a console (--console ENDPOINT: unix, unix:PATH or\n"
    "tcp:127.0.0.1:PORT; else the one SF_CONSOLE started; else unix) and pumps its dispatcher\n"
    "until Ctrl-C or SIGTERM. --timeout MS bounds how long a call waits for the dispatcher.\n"
    "hosts lists the consoles running for this user, from their discovery files.\n"
    "check DIR reads DIR/<name of DIR>.xml, loads the library it names into a factory of its own\n"
    "and reports what the manifest promises and the library registers; it exits 1 on a problem.\n"
    "\n"
    "Exit status: 0 when every line succeeded, 1 when one failed, 2 for a usage error or a\n"
    "framework that cannot be loaded.\n";

struct Arguments {
    std::string connect;
    std::string token;
    std::string console;  // serve
    long timeout = -1;    // serve, milliseconds
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
int parseArguments(int argc, char** argv, Arguments& arguments, int first = 1) {
    for (int i = first; i < argc; ++i) {
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
        } else if (argument == "--connect") {
            if (!value(arguments.connect)) {
                return usageError("--connect needs an endpoint");
            }
        } else if (argument == "--token") {
            if (!value(arguments.token)) {
                return usageError("--token needs the console's token");
            }
        } else if (argument == "--console") {
            if (!value(arguments.console)) {
                return usageError("--console needs an endpoint");
            }
        } else if (argument == "--timeout") {
            if (!value(text) || text.find_first_not_of("0123456789") != std::string::npos ||
                text.empty() || text.size() > 9) {
                return usageError("--timeout needs a number of milliseconds");
            }
            arguments.timeout = std::stol(text);
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

// Runs -e requests, then a script, standard input or the prompt: true when every line succeeded.
bool runShell(svcsh::Shell& shell, const Arguments& arguments, int& status) {
    // Ctrl-C ends the running step (a pump, a watch wait) and stops the run; a second one
    // ends svcsh even in the middle of service code.
    svcsh::catchInterrupts();
    bool ok = true;
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
            std::cerr << "svcsh: cannot read " << arguments.script << ": " << std::strerror(errno)
                      << "\n";
            status = 2;
            return false;
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
    return ok;
}

// svcsh hosts: the consoles of this user's running hosts.
int listHosts() {
    const std::vector<ZAMUnified::ConsoleHost> hosts = ZAMUnified::findConsoles();
    if (hosts.empty()) {
        std::cout << "no consoles found in " << ZAMUnified::consoleDiscoveryFolder() << "\n";
        return 0;
    }
    svcsh::Table table({"PID", "PROGRAM", "ENDPOINT"});
    for (const ZAMUnified::ConsoleHost& host : hosts) {
        table.add({std::to_string(host.pid), host.program, host.endpoint});
    }
    for (const std::string& line : table.lines()) {
        std::cout << line << "\n";
    }
    return 0;
}

// svcsh --connect ENDPOINT: the same shell, against a running host.
int connectAndRun(const Arguments& arguments) {
    std::string token = arguments.token;
    if (token.empty() && getenv("SF_CONSOLE_TOKEN") != nullptr) {
        token = getenv("SF_CONSOLE_TOKEN");
    }
    for (const ZAMUnified::ConsoleHost& host : ZAMUnified::findConsoles()) {
        if (token.empty() && host.endpoint == arguments.connect) {
            token = host.token;
        }
    }
    if (token.empty()) {
        std::cerr << "svcsh: no token for " << arguments.connect
                  << ": no discovery file names it; give --token or set SF_CONSOLE_TOKEN\n";
        return 2;
    }
    std::unique_ptr<svcsh::Host> host;
    try {
        host = svcsh::connectHost(arguments.connect, token);
    } catch (const std::exception& error) {
        std::cerr << "svcsh: " << error.what() << "\n";
        return 2;
    }
    svcsh::Shell shell(std::move(host), std::cout, std::cerr, arguments.options);
    int status = 0;
    const bool ok = runShell(shell, arguments, status);
    return status != 0 ? status : ok ? 0 : 1;
}

// svcsh serve: a host that serves a console until Ctrl-C or SIGTERM.
int serve(int argc, char** argv) {
    Arguments arguments;
    const int parsed = parseArguments(argc, argv, arguments, 2);
    if (parsed >= 0) {
        return parsed;
    }
    // Before any console starts: a SIGTERM sent as soon as the discovery file appears must end the
    // loop below, which removes the file, instead of killing the process and leaving it behind.
    svcsh::catchInterrupts(true);
    chooseResources(arguments);
    ZAMUnified::ServiceFactory* factory = loadFramework();
    if (factory == nullptr) {
        return 2;
    }
    // The first use of the factory makes this thread the dispatcher thread, and starts the
    // console SF_CONSOLE asks for.
    if (!factory->getUnifiedFactory()) {
        std::cerr << "svcsh: the factory is not the framework's own\n";
        return 2;
    }
    for (const std::string& manifest : arguments.manifests) {
        if (!factory->addLibraryManifest(manifest)) {
            std::cerr << "svcsh: the manifest in " << manifest << " added no library\n";
            return 2;
        }
    }
    std::string endpoint = ZAMUnified::consoleEndpoint();
    if (endpoint.empty() || !arguments.console.empty()) {
        ZAMUnified::ConsoleOptions options;
        options.endpoint = arguments.console.empty() ? "unix" : arguments.console;
        options.revealSecrets = arguments.options.reveal;
        if (arguments.timeout >= 0) {
            options.requestTimeout = std::chrono::milliseconds(arguments.timeout);
        }
        try {
            endpoint = ZAMUnified::startConsole(*factory, options);
        } catch (const std::exception& error) {
            std::cerr << "svcsh: " << error.what() << "\n";
            return 2;
        }
    }
    std::cout << "serving the console at " << endpoint << std::endl;
    while (!svcsh::interruptPending()) {
        factory->waitForDispatcherTask(100);
        try {
            factory->pumpAllDispatcherTasks();
        } catch (const std::exception& error) {
            std::cerr << "svcsh: a dispatcher task threw: " << error.what() << std::endl;
        } catch (...) {
            std::cerr << "svcsh: a dispatcher task threw" << std::endl;
        }
    }
    ZAMUnified::stopConsole();
    factory->reset();
    return 0;
}

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "check") {
        return checkPlugins(argc, argv);
    }
    if (command == "hosts") {
        return listHosts();
    }
    if (command == "serve") {
        return serve(argc, argv);
    }
    if (command == "new-plugin") {
        return svcsh::newPluginCommand(argc, argv);
    }
    Arguments arguments;
    const int parsed = parseArguments(argc, argv, arguments);
    if (parsed >= 0) {
        return parsed;
    }
    if (!arguments.connect.empty()) {
        return connectAndRun(arguments);
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
    int status = 0;
    {
        svcsh::Shell shell(svcsh::makeLocalHost(*factory, unified, arguments.options.reveal),
                           std::cout, std::cerr, arguments.options);
        for (const std::string& manifest : arguments.manifests) {
            if (!shell.loadManifest(manifest)) {
                return 2;
            }
        }
        ok = runShell(shell, arguments, status);
    }
    // Leaves nothing registered that would keep the factory's objects alive past main.
    factory->reset();
    return status != 0 ? status : ok ? 0 : 1;
}
