// Running svcsh as a process for the shell's tests: its standard output, standard error and exit
// status, with a deadline.
#ifndef SVCSH_TESTS_SHELLRUN_H
#define SVCSH_TESTS_SHELLRUN_H

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/Deadline.h"

namespace svcshtest {

struct ShellRun {
    int status = -1;  // exit status; -1 when killed at the deadline
    std::string out;
    std::string err;
};

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
    int status = 0;
    const bool ended = sftest::eventually([&] { return waitpid(child, &status, WNOHANG) == child; },
                                          std::chrono::seconds(60));
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    EXPECT_TRUE(ended) << "svcsh did not finish within 60 s";
    ShellRun run;
    run.status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (std::string* sink : {&run.out, &run.err}) {
        FILE* file = files[sink == &run.out ? 1 : 2];
        std::rewind(file);
        for (int c; (c = std::fgetc(file)) != EOF;) {
            sink->push_back(static_cast<char>(c));
        }
    }
    for (FILE* file : files) {
        std::fclose(file);
    }
    return run;
}

inline std::vector<std::string> withLines(std::vector<std::string> options,
                                          const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        options.push_back("-e");
        options.push_back(line);
    }
    return options;
}

}  // namespace svcshtest

#endif  // SVCSH_TESTS_SHELLRUN_H
