// svcsh against a running host: `svcsh serve` is the host, and `svcsh --connect` must print what
// a local shell prints for the same lines. The consoles' discovery files go to a scratch
// runtime folder.
#include <fcntl.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <utility>

#include "ShellRun.h"
#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace svcshtest;

// `svcsh serve` with `arguments` in the background, with the environment given, until the test
// ends; `file` is its discovery file, and `endpoint` the one that file names.
struct ServingHost {
    ServingHost(const std::vector<std::string>& arguments, const std::string& console = "") {
        pid = fork();
        if (pid == 0) {
            if (!console.empty()) {
                setenv("SF_CONSOLE", console.c_str(), 1);
            }
            dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
            execShell(arguments);
        }
        file = std::string(getenv("XDG_RUNTIME_DIR")) + "/servicesframework/console-" +
               std::to_string(pid) + ".json";
        EXPECT_TRUE(sftest::eventually([&] { return fs::exists(file); }));
        const auto json = nlohmann::json::parse(std::ifstream(file), nullptr, false);
        endpoint = json.is_object() ? json.value("endpoint", "") : "";
    }
    ~ServingHost() { stop(); }

    // SIGTERM, then the exit status (-1 when it did not end in time, or was stopped before).
    int stop() { return pid > 0 && kill(pid, SIGTERM) == 0 ? reap(std::exchange(pid, 0)) : -1; }

    pid_t pid = 0;
    std::string file;
    std::string endpoint;
};

// The scratch folder is the runtime folder.
class ShellConsoleTest : public ::testing::Test, public sftest::PluginFolder {
  protected:
    void SetUp() override { setenv("XDG_RUNTIME_DIR", root().c_str(), 1); }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }
};

TEST_F(ShellConsoleTest, ConnectedShellPrintsWhatALocalShellPrints) {
    ServingHost host({"serve", "--console", "unix:" + (root() / "host.sock").string()});
    ASSERT_EQ("unix:" + (root() / "host.sock").string(), host.endpoint);
    const std::string script =
        "HelloWorldService/add(a=2, b=3)\nservices\ndescribe HelloWorldService\n"
        "describe HelloWorldService/add\nwatch HelloWorldService/Greeting as g\n"
        "HelloWorldService/Greeting(\"Hi\")\nunwatch g\nHelloWorldService/Owner/Name\n"
        "HelloWorldService/Secret\nfeatureset status 42876\nauth 1801\nauth NOBODY\nlibraries\n"
        "HelloWorldService/Nothing(1)\nobjects\n";
    // Plain (--keep-going given twice) and in JSON.
    for (const std::string mode : {"--keep-going", "--json"}) {
        const ShellRun local = runShell({"--keep-going", mode}, script);
        EXPECT_EQ(local, runShell({"--keep-going", mode, "--connect", host.endpoint}, script));
        EXPECT_EQ(1, local.status);
        EXPECT_NE(std::string::npos,
                  local.out.find(mode == "--json" ? R"({"watch":"g")" : "g = Hi\n"))
            << local.out;
    }

    // What acts on this process only says so.
    EXPECT_EQ((ShellRun{1, "",
                        "-e 1: manifest works in a local shell only: the host at " + host.endpoint +
                            " loads its own libraries\n"}),
              runShell({"--connect", host.endpoint, "-e", "manifest /tmp"}));
    const ShellRun hosts = runShell({"hosts"});
    EXPECT_NE(std::string::npos, hosts.out.find("  svcsh    " + host.endpoint + "\n")) << hosts.out;
    EXPECT_EQ(0, host.stop());
    EXPECT_FALSE(fs::exists(host.file));
    EXPECT_FALSE(fs::exists(root() / "host.sock"));
    EXPECT_EQ(
        (ShellRun{0, "no consoles found in " + (root() / "servicesframework").string() + "\n", ""}),
        runShell({"hosts"}));
}

TEST_F(ShellConsoleTest, TheEnvironmentStartsAConsoleAndAFaultyOneOnlyWarns) {
    ServingHost host({"serve", "--timeout", "123456789"},
                     "tcp:127.0.0.1:0");  // the longest time-out
    ASSERT_EQ(0u, host.endpoint.find("tcp:127.0.0.1:")) << host.endpoint;
    const std::vector<std::string> add{"HelloWorldService/add(a=2, b=3)"};
    // The token comes from the discovery file that names the endpoint.
    EXPECT_EQ((ShellRun{0, "5\n", ""}), runShell(withLines({"--connect", host.endpoint}, add)));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--connect", "unix:/nonexistent/c.sock", "--token", "t"},
         "cannot reach the console at unix:/nonexistent/c.sock: No such file or directory"},
        {{"--connect", host.endpoint, "--token", "wrong"},
         "the console needs its token: send \"Authorization: Bearer TOKEN\", or open "
         "/login?token=TOKEN in a browser; the token is in the discovery file"},
        {{"--connect", "unix:/nowhere"},
         "no token for unix:/nowhere: no discovery file names it; give --token or set "
         "SF_CONSOLE_TOKEN"},
    };
    for (const auto& [arguments, problem] : refused) {
        EXPECT_EQ((ShellRun{2, "", "svcsh: " + problem + "\n"}),
                  runShell(withLines(arguments, {"services"})));
    }

    setenv("SF_CONSOLE", "bogus", 1);
    ShellRun faulty = runShell(withLines({}, add));
    unsetenv("SF_CONSOLE");
    faulty.err = std::regex_replace(faulty.err, std::regex(".* WARNING \\[.*: SF"), "SF");
    EXPECT_EQ(
        (ShellRun{
            0, "5\n",
            "SF_CONSOLE names a console that did not start: the endpoint \"bogus\" is not unix, "
            "unix:PATH or tcp:HOST:PORT\n"}),
        faulty);

    // Neither --console nor SF_CONSOLE: the private Unix socket in the discovery folder. Stopped
    // the moment its discovery file appears, it still ends cleanly and removes the file.
    ServingHost plain({"serve"});
    EXPECT_EQ(0u, plain.endpoint.find("unix:" + (root() / "servicesframework/").string()))
        << plain.endpoint;
    EXPECT_EQ(0, plain.stop());
    EXPECT_FALSE(fs::exists(plain.file));
}

}  // namespace
