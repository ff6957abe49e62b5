// The shell at a terminal, as a person meets it: svcsh run on a pseudo-terminal, keys typed into
// it, the screen read back. Prompting and pumping while waiting, Ctrl-C and Ctrl-D, Tab
// completion, and the history file.
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>

#include <iterator>
#include <utility>

#include "ShellRun.h"
#include "support/PluginFolder.h"

namespace {

using testing::AssertionFailure;
using testing::AssertionResult;
using testing::AssertionSuccess;

const char kCtrlC[] = "\x03";
const char kCtrlD[] = "\x04";
const auto npos = std::string::npos;
constexpr std::chrono::seconds kWait{30};

// svcsh on a pseudo-terminal of its own, with a scratch home for its history, seeded with
// `history`. Every wait ends after at most 30 s.
class Terminal : sftest::PluginFolder {
  public:
    explicit Terminal(const std::string& history = "") {
        if (!history.empty()) {
            std::ofstream(root() / ".svcsh_history") << history;
        }
        child_ = forkpty(&fd_, nullptr, nullptr, nullptr);
        if (child_ == 0) {
            setenv("HOME", root().c_str(), 1);
            setenv("TERM", "dumb", 1);
            svcshtest::execShell({});
        }
        EXPECT_NE(-1, child_);
    }
    ~Terminal() {
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        close(fd_);  // nothing to close when forkpty failed
    }

    // Reads until `text` appears after what earlier waits found; the screen is read in order, so
    // output that arrives in one piece is still found piece by piece.
    AssertionResult waitFor(const std::string& text) {
        std::size_t at = npos;
        sftest::eventually([&] { return (at = screen_.find(text, seen_)) != npos || !read(100); },
                           kWait);
        if (at == npos) {
            return AssertionFailure() << "no \"" << text << "\" on the screen:\n" << screen_;
        }
        seen_ = at + text.size();
        return AssertionSuccess();
    }
    // Waits for the next prompt, and for the line editor to take the terminal: what is typed
    // before that may be lost in the switch.
    AssertionResult prompt() {
        AssertionResult shown = waitFor("svcsh> ");
        return !shown || editing() ? shown : AssertionFailure() << "no line editor:\n" << screen_;
    }
    // Waits until the line editor has the terminal (canonical mode off), or has given it back. A
    // key typed during the switch is taken in the mode it arrives in: Ctrl-C is a key, not a
    // signal, while editing, and a Ctrl-D taken as end of input is lost.
    bool editing(bool wanted = true) {
        termios mode{};
        const auto reached = [&] {
            return tcgetattr(fd_, &mode) == 0 && ((mode.c_lflag & ICANON) == 0) == wanted;
        };
        return sftest::eventually([&] { return reached() || (read(10), false); }, kWait);
    }
    void type(const std::string& keys) {
        EXPECT_EQ(static_cast<ssize_t>(keys.size()), write(fd_, keys.data(), keys.size()));
    }
    // Types `keys`, then waits for `text`, or for the next prompt.
    AssertionResult send(const std::string& keys, const std::string& text = "") {
        type(keys);
        return text.empty() ? prompt() : waitFor(text);
    }
    // The exit status (-1 when svcsh did not exit in time), and the rest of the screen.
    int exitStatus() {
        const int status = svcshtest::reap(std::exchange(child_, -1), kWait);
        while (read(0)) {
        }
        return status;
    }
    const std::string& screen() const { return screen_; }
    std::filesystem::path historyFile() const { return root() / ".svcsh_history"; }

  private:
    // False when the terminal has closed.
    bool read(int milliseconds) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, milliseconds) <= 0) {
            return true;
        }
        char buffer[1024];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        screen_.append(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        return n > 0;
    }

    pid_t child_ = -1;
    int fd_ = -1;
    std::string screen_;
    std::size_t seen_ = 0;  // where the next wait starts looking
};

// It pumps while it waits, so each line's output comes before the next prompt, and it keeps
// history between runs, bounded, and without a line that carried a secret.
TEST(ShellTerminalTest, PromptsPumpsAndKeepsHistoryWithoutSecrets) {
    std::string old;
    for (int i = 0; i < 600; ++i) {
        old += "old" + std::to_string(i) + "\n";
    }
    Terminal terminal("_HiStOrY_V2_\n" + old);
    ASSERT_TRUE(terminal.prompt());
    for (const char* line :
         {"watch HelloWorldService/Greeting as g\r", "HelloWorldService/Greeting(\"Hey\")\r",
          "HelloWorldService/Secret(\"open sesame\")\r", "HelloWorldService/add(a=40, b=2)\r"}) {
        ASSERT_TRUE(terminal.send(line));
    }
    terminal.type("quit\r");
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    const std::string& screen = terminal.screen();
    EXPECT_LT(screen.find("g = Hey"), screen.rfind("svcsh> "));
    EXPECT_NE(npos, screen.find("42\r\n")) << screen;
    // The newest 500 lines after the header, without the secret's; the file writes a blank as
    // \040.
    std::ifstream file(terminal.historyFile());
    EXPECT_EQ(
        "_HiStOrY_V2_\n" + old.substr(old.find("old104\n")) +
            "watch\\040HelloWorldService/Greeting\\040as\\040g\n"
            "HelloWorldService/Greeting(\"Hey\")\nHelloWorldService/add(a=40,\\040b=2)\nquit\n",
        std::string(std::istreambuf_iterator<char>(file), {}));
    struct stat mode {};
    ASSERT_EQ(0, stat(terminal.historyFile().c_str(), &mode));
    EXPECT_EQ(0600u, mode.st_mode & 0777u);
}

// Ctrl-C ends a wait and the prompt comes back with the watches alive; at the prompt it drops
// the line; a second one at the empty prompt leaves.
TEST(ShellTerminalTest, CtrlCEndsTheWaitDropsTheLineAndTwiceLeaves) {
    Terminal terminal;
    ASSERT_TRUE(terminal.prompt());
    ASSERT_TRUE(terminal.send("watch HelloWorldService/Greeting as g\r"));
    ASSERT_TRUE(terminal.send("pump 600000\r", "pump 600000\r\n"));
    ASSERT_TRUE(terminal.editing(false));
    ASSERT_TRUE(terminal.send(kCtrlC)) << "the ten-minute wait did not end";
    ASSERT_TRUE(terminal.send("HelloWorldService/Greeting(\"After\")\r", "g = After"));
    ASSERT_TRUE(terminal.prompt());
    ASSERT_TRUE(terminal.send(std::string("HelloWorldService/add(a=40, b=2)") + kCtrlC));
    terminal.type(kCtrlC);
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    EXPECT_EQ(npos, terminal.screen().find("42")) << "the dropped line never ran";
    EXPECT_EQ("svcsh> \r\n", terminal.screen().substr(terminal.screen().size() - 9));
}

// Tab completes commands, service names and, after a "/", the members of what the path leads
// to, up to where the candidates part. Ctrl-D at the empty prompt leaves on a new line.
TEST(ShellTerminalTest, TabCompletesCommandsServicesAndMembersAndCtrlDLeaves) {
    Terminal terminal;
    ASSERT_TRUE(terminal.prompt());
    ASSERT_TRUE(terminal.send("desc\t", "svcsh> describe "));
    ASSERT_TRUE(terminal.send("HelloWo\t", "svcsh> describe HelloWorldService"));
    ASSERT_TRUE(terminal.send("\r"));
    ASSERT_TRUE(terminal.send("HelloWorldService/Ow\t", "svcsh> HelloWorldService/Owner"));
    ASSERT_TRUE(terminal.send("/Na\t", "svcsh> HelloWorldService/Owner/Name"));
    ASSERT_TRUE(terminal.send("\r", "Ada\r\n"));
    ASSERT_TRUE(terminal.send("HelloWorldService/Gr\t", "svcsh> HelloWorldService/Greet"));
    ASSERT_TRUE(terminal.send("ing\r", "Hello\r\n"));
    ASSERT_TRUE(terminal.prompt());
    terminal.type(kCtrlD);
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    EXPECT_EQ("svcsh> \r\n", terminal.screen().substr(terminal.screen().size() - 9));
}

}  // namespace
