// The shell at a terminal, as a person meets it: svcsh run on a pseudo-terminal, keys typed into
// it, the screen read back. Prompting and pumping while waiting, Ctrl-C and Ctrl-D, Tab
// completion, and the history file.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ShellRun.h"
#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;

const char kCtrlC[] = "\x03";
const char kCtrlD[] = "\x04";

// svcsh on a pseudo-terminal of its own, with a scratch home for its history.
class Terminal : sftest::PluginFolder {
  public:
    ~Terminal() {
        if (child_ > 0 && waitpid(child_, nullptr, WNOHANG) == 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    const fs::path& home() const { return root(); }

    void start() {
        child_ = forkpty(&fd_, nullptr, nullptr, nullptr);
        ASSERT_NE(-1, child_);
        if (child_ == 0) {
            setenv("HOME", home().c_str(), 1);
            setenv("TERM", "dumb", 1);
            svcshtest::execShell({});
        }
    }
    // Reads until `text` appears after what earlier waits found, for at most 30 s; the screen is
    // read in order, so output that arrives in one piece is still found piece by piece.
    bool waitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (screen_.find(text, seen_) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline && read(100)) {
        }
        const std::size_t at = screen_.find(text, seen_);
        if (at == std::string::npos) {
            return false;
        }
        seen_ = at + text.size();
        return true;
    }
    // Waits for the next prompt, and for the line editor to take the terminal: what is typed
    // before that may be lost in the switch.
    bool nextPrompt() { return waitFor("svcsh> ") && editing(); }
    // Waits until the line editor has the terminal (canonical mode off), or has given it back,
    // for at most 30 s. A key typed during the switch is taken in the mode it arrives in: Ctrl-C
    // is a key, not a signal, while editing, and a Ctrl-D taken as end of input is lost.
    bool editing(bool wanted = true) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        termios mode{};
        while (tcgetattr(fd_, &mode) == 0 && ((mode.c_lflag & ICANON) == 0) != wanted &&
               std::chrono::steady_clock::now() < deadline) {
            read(10);
        }
        return ((mode.c_lflag & ICANON) == 0) == wanted;
    }
    void type(const std::string& keys) {
        ASSERT_EQ(static_cast<ssize_t>(keys.size()), write(fd_, keys.data(), keys.size()));
    }
    // The exit status, or -1 when svcsh is still running after 30 s.
    int exitStatus() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(child_, &status, WNOHANG) == child_) {
                while (read(0)) {
                }
                child_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            read(50);
        }
        return -1;
    }
    const std::string& screen() const { return screen_; }
    std::string history() const {
        std::ifstream file(home() / ".svcsh_history");
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }

  private:
    // False when the terminal has closed.
    bool read(int milliseconds) {
        pollfd fd{fd_, POLLIN, 0};
        if (poll(&fd, 1, milliseconds) <= 0) {
            return true;
        }
        char buffer[1024];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        screen_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t child_ = -1;
    int fd_ = -1;
    std::string screen_;
    std::size_t seen_ = 0;  // where the next wait starts looking
};

// It pumps while it waits, so each line's output comes before the next prompt, and it keeps
// history between runs, bounded, and without a line that carried a secret.
TEST(ShellTerminalTest, PromptsPumpsAndKeepsHistoryWithoutSecrets) {
    Terminal terminal;
    {
        std::ofstream seeded(terminal.home() / ".svcsh_history");
        seeded << "_HiStOrY_V2_\n";
        for (int i = 0; i < 600; ++i) {
            seeded << "old" << i << "\n";
        }
    }
    terminal.start();
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    for (const char* line :
         {"watch HelloWorldService/Greeting as g\r", "HelloWorldService/Greeting(\"Hey\")\r",
          "HelloWorldService/Secret(\"open sesame\")\r", "HelloWorldService/add(a=40, b=2)\r"}) {
        terminal.type(line);
        ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    }
    terminal.type("quit\r");
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    const std::string& screen = terminal.screen();
    EXPECT_LT(screen.find("g = Hey"), screen.rfind("svcsh> "));
    EXPECT_NE(std::string::npos, screen.find("42\r\n")) << screen;

    const std::string saved = terminal.history();
    // The file writes a blank as \\040.
    EXPECT_NE(std::string::npos, saved.find("HelloWorldService/add(a=40,")) << saved;
    EXPECT_EQ(std::string::npos, saved.find("sesame")) << saved;
    EXPECT_EQ(std::string::npos, saved.find("old0\n")) << "the oldest lines go first";
    int lines = 0;
    for (char c : saved) {
        lines += c == '\n' ? 1 : 0;
    }
    EXPECT_EQ(501, lines) << "500 lines and the header";
    struct stat file {};
    ASSERT_EQ(0, stat((terminal.home() / ".svcsh_history").c_str(), &file));
    EXPECT_EQ(0600u, file.st_mode & 0777u);
}

// Ctrl-C ends a wait and the prompt comes back with the watches alive; at the prompt it drops
// the line; a second one at the empty prompt leaves.
TEST(ShellTerminalTest, CtrlCEndsTheWaitDropsTheLineAndTwiceLeaves) {
    Terminal terminal;
    terminal.start();
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type("watch HelloWorldService/Greeting as g\r");
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type("pump 600000\r");
    ASSERT_TRUE(terminal.waitFor("pump 600000\r\n")) << terminal.screen();
    ASSERT_TRUE(terminal.editing(false));
    terminal.type(kCtrlC);
    ASSERT_TRUE(terminal.nextPrompt()) << "the ten-minute wait ended: " << terminal.screen();
    terminal.type("HelloWorldService/Greeting(\"After\")\r");
    ASSERT_TRUE(terminal.waitFor("g = After")) << terminal.screen();
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();

    terminal.type("HelloWorldService/add(a=40, b=2)");
    terminal.type(kCtrlC);
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type(kCtrlC);
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    EXPECT_EQ(std::string::npos, terminal.screen().find("42")) << "the dropped line never ran";
    EXPECT_EQ("svcsh> \r\n", terminal.screen().substr(terminal.screen().size() - 9));
}

// Tab completes commands, service names and, after a "/", the members of what the path leads
// to, up to where the candidates part. Ctrl-D at the empty prompt leaves on a new line.
TEST(ShellTerminalTest, TabCompletesCommandsServicesAndMembersAndCtrlDLeaves) {
    Terminal terminal;
    terminal.start();
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type("desc\t");
    ASSERT_TRUE(terminal.waitFor("svcsh> describe ")) << terminal.screen();
    terminal.type("HelloWo\t");
    ASSERT_TRUE(terminal.waitFor("svcsh> describe HelloWorldService")) << terminal.screen();
    terminal.type("\r");
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type("HelloWorldService/Ow\t");
    ASSERT_TRUE(terminal.waitFor("svcsh> HelloWorldService/Owner")) << terminal.screen();
    terminal.type("/Na\t");
    ASSERT_TRUE(terminal.waitFor("svcsh> HelloWorldService/Owner/Name")) << terminal.screen();
    terminal.type("\r");
    ASSERT_TRUE(terminal.waitFor("Ada\r\n")) << terminal.screen();
    terminal.type("HelloWorldService/Gr\t");
    ASSERT_TRUE(terminal.waitFor("svcsh> HelloWorldService/Greet")) << terminal.screen();
    terminal.type("ing\r");
    ASSERT_TRUE(terminal.waitFor("Hello\r\n")) << terminal.screen();
    ASSERT_TRUE(terminal.nextPrompt()) << terminal.screen();
    terminal.type(kCtrlD);
    EXPECT_EQ(0, terminal.exitStatus()) << terminal.screen();
    EXPECT_EQ("svcsh> \r\n", terminal.screen().substr(terminal.screen().size() - 9));
}

}  // namespace
