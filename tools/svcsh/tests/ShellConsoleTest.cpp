// svcsh against a running host: `svcsh serve` is the host, and `svcsh --connect` must print what
// a local shell prints for the same lines. The consoles' discovery files go to a scratch
// runtime folder.
#include <fcntl.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ShellRun.h"
#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace svcshtest;

// `svcsh serve` in the background, with the environment given, until the test ends.
class ServingHost {
  public:
    ServingHost(const std::vector<std::string>& arguments, const std::string& console = "") {
        pid_ = fork();
        if (pid_ == 0) {
            if (!console.empty()) {
                setenv("SF_CONSOLE", console.c_str(), 1);
            }
            dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
            std::vector<std::string> serve{"serve"};
            serve.insert(serve.end(), arguments.begin(), arguments.end());
            execShell(serve);
        }
        file_ = std::string(getenv("XDG_RUNTIME_DIR")) + "/servicesframework/console-" +
                std::to_string(pid_) + ".json";
        EXPECT_TRUE(sftest::eventually([&] { return fs::exists(file_); }));
        const auto json = nlohmann::json::parse(std::ifstream(file_), nullptr, false);
        endpoint_ = json.is_object() ? json.value("endpoint", "") : "";
    }
    ~ServingHost() { stop(); }

    // SIGTERM, then the exit status (-1 when it did not end in time).
    int stop() {
        if (pid_ <= 0) {
            return status_;
        }
        kill(pid_, SIGTERM);
        int status = 0;
        const bool ended =
            sftest::eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = 0;
        status_ = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }
    const std::string& endpoint() const { return endpoint_; }
    const std::string& file() const { return file_; }

  private:
    pid_t pid_ = 0;
    int status_ = -1;
    std::string file_;
    std::string endpoint_;
};

class ShellConsoleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
    }
    void TearDown() override { unsetenv("XDG_RUNTIME_DIR"); }
    const sftest::PluginFolder scratch_;
    const fs::path root_ = scratch_.root();
};

TEST_F(ShellConsoleTest, ConnectedShellPrintsWhatALocalShellPrints) {
    ServingHost host({"--console", "unix:" + (root_ / "host.sock").string()});
    ASSERT_EQ("unix:" + (root_ / "host.sock").string(), host.endpoint());
    const std::vector<std::string> lines = {"HelloWorldService/add(a=2, b=3)",
                                            "services",
                                            "describe HelloWorldService",
                                            "describe HelloWorldService/add",
                                            "watch HelloWorldService/Greeting as g",
                                            "HelloWorldService/Greeting(\"Hi\")",
                                            "unwatch g",
                                            "HelloWorldService/Owner/Name",
                                            "HelloWorldService/Secret",
                                            "featureset status 42876",
                                            "auth 1801",
                                            "auth NOBODY",
                                            "libraries",
                                            "HelloWorldService/Nothing(1)",
                                            "objects"};
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--keep-going"},
          std::vector<std::string>{"--keep-going", "--json"}}) {
        const ShellRun local = runShell(withLines(options, lines));
        std::vector<std::string> remote = {"--connect", host.endpoint()};
        remote.insert(remote.end(), options.begin(), options.end());
        const ShellRun connected = runShell(withLines(remote, lines));
        EXPECT_EQ(local.out, connected.out);
        EXPECT_EQ(local.err, connected.err);
        EXPECT_EQ(1, connected.status);
        EXPECT_NE(std::string::npos,
                  connected.out.find(options.size() == 1 ? "g = Hi\n" : R"({"watch":"g")"))
            << connected.out;
    }

    // What acts on this process only says so.
    const ShellRun manifest = runShell({"--connect", host.endpoint(), "-e", "manifest /tmp"});
    EXPECT_EQ("-e 1: manifest works in a local shell only: the host at " + host.endpoint() +
                  " loads its own libraries\n",
              manifest.err);
    const ShellRun hosts = runShell({"hosts"});
    EXPECT_NE(std::string::npos, hosts.out.find("  svcsh    " + host.endpoint() + "\n"))
        << hosts.out;
    EXPECT_EQ(0, host.stop());
    EXPECT_FALSE(fs::exists(host.file()));
    EXPECT_FALSE(fs::exists(root_ / "host.sock"));
    EXPECT_EQ("no consoles found in " + (root_ / "servicesframework").string() + "\n",
              runShell({"hosts"}).out);
}

TEST_F(ShellConsoleTest, TheEnvironmentStartsAConsoleAndAFaultyOneOnlyWarns) {
    ServingHost host({"--timeout", "123456789"}, "tcp:127.0.0.1:0");  // the longest time-out
    ASSERT_EQ(0u, host.endpoint().find("tcp:127.0.0.1:")) << host.endpoint();
    EXPECT_EQ(
        "5\n",
        runShell({"--connect", host.endpoint(), "-e", "HelloWorldService/add(a=2, b=3)"}).out);

    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"--connect", "unix:/nonexistent/c.sock", "--token", "t", "-e", "services"},
         2,
         "svcsh: cannot reach the console at unix:/nonexistent/c.sock: No such file or "
         "directory\n"},
        {{"--connect", host.endpoint(), "--token", "wrong", "-e", "services"},
         2,
         "svcsh: the console needs its token: send \"Authorization: Bearer TOKEN\", or open "
         "/login?token=TOKEN in a browser; the token is in the discovery file\n"},
        {{"--connect", "unix:/nowhere", "-e", "services"},
         2,
         "svcsh: no token for unix:/nowhere: no discovery file names it; give --token or set "
         "SF_CONSOLE_TOKEN\n"},
    };
    for (const Case& c : cases) {
        const ShellRun run = runShell(c.arguments);
        EXPECT_EQ(c.status, run.status);
        EXPECT_EQ(c.err, run.err);
    }

    setenv("SF_CONSOLE", "bogus", 1);
    const ShellRun faulty = runShell({"-e", "HelloWorldService/add(a=2, b=3)"});
    unsetenv("SF_CONSOLE");
    EXPECT_EQ(0, faulty.status);
    EXPECT_EQ("5\n", faulty.out);
    EXPECT_NE(std::string::npos,
              faulty.err.find("SF_CONSOLE names a console that did not start: the endpoint "
                              "\"bogus\" is not unix, unix:PATH or tcp:HOST:PORT"))
        << faulty.err;

    // Neither --console nor SF_CONSOLE: the private Unix socket in the discovery folder. Stopped
    // the moment its discovery file appears, it still ends cleanly and removes the file.
    ServingHost plain({});
    EXPECT_EQ(0u, plain.endpoint().find("unix:" + (root_ / "servicesframework/").string()))
        << plain.endpoint();
    EXPECT_EQ(0, plain.stop());
    EXPECT_FALSE(fs::exists(plain.file()));
}

}  // namespace
