// Running svcsh as a process for the shell's tests: its standard output, standard error and exit
// status, with a deadline.
#ifndef SVCSH_TESTS_SHELLRUN_H
#define SVCSH_TESTS_SHELLRUN_H

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/Deadline.h"

namespace svcshtest {

// What a run left behind, compared whole: one EXPECT_EQ checks the status and both streams.
struct ShellRun {
    int status = -1;  // exit status; -1 when killed at the deadline
    std::string out;
    std::string err;
    bool operator==(const ShellRun& other) const {
        return std::tie(status, out, err) == std::tie(other.status, other.out, other.err);
    }
};

inline void PrintTo(const ShellRun& run, std::ostream* os) {
    *os << "status " << run.status << "\n--- stdout:\n" << run.out << "--- stderr:\n" << run.err;
}

// In a forked child: becomes svcsh with `arguments`.
[[noreturn]] inline void execShell(const std::vector<std::string>& arguments) {
    // The shell must find the sample library from where it lies itself.
    unsetenv("ZAM_RESOURCES_DIR");
    unsetenv("ZAMLOG_LEVEL");
    std::vector<char*> argv{const_cast<char*>(SVCSH_PROGRAM)};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(SVCSH_PROGRAM, argv.data());
    _exit(127);
}

// Waits for `child` at most `within`, and kills it then: its exit status, or -1 when it did not end
// in time or by exiting.
inline int reap(pid_t child, std::chrono::milliseconds within = sftest::kDeadline) {
    int status = 0;
    const bool ended =
        sftest::eventually([&] { return waitpid(child, &status, WNOHANG) == child; }, within);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    EXPECT_TRUE(ended) << "svcsh did not end within " << within.count() << " ms";
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs svcsh with `arguments`, feeding `input` on standard input (never a terminal), and waits
// for it at most 60 s. Its output goes to unnamed files, so no pipe can fill while it runs.
inline ShellRun runShell(const std::vector<std::string>& arguments, const std::string& input = "") {
    FILE* files[3] = {std::tmpfile(), std::tmpfile(), std::tmpfile()};
    std::fwrite(input.data(), 1, input.size(), files[0]);
    std::rewind(files[0]);
    const pid_t child = fork();
    if (child == 0) {
        for (int fd : {0, 1, 2}) {
            dup2(fileno(files[fd]), fd);
        }
        execShell(arguments);
    }
    ShellRun run{reap(child, std::chrono::seconds(60)), "", ""};
    for (int fd : {0, 1, 2}) {
        std::rewind(files[fd]);
        for (int c; fd > 0 && (c = std::fgetc(files[fd])) != EOF;) {
            (fd == 1 ? run.out : run.err).push_back(static_cast<char>(c));
        }
        std::fclose(files[fd]);
    }
    return run;
}

// `options`, then `-e LINE` for each line.
inline std::vector<std::string> withLines(std::vector<std::string> options,
                                          const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        options.insert(options.end(), {"-e", line});
    }
    return options;
}

}  // namespace svcshtest

#endif  // SVCSH_TESTS_SHELLRUN_H
