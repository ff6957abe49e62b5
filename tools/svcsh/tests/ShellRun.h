// Running svcsh as a process for the shell's tests: its standard output, standard error and exit
// status, with a deadline.
#ifndef SVCSH_TESTS_SHELLRUN_H
#define SVCSH_TESTS_SHELLRUN_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace svcshtest {

struct ShellRun {
    int status = -1;  // exit status; -1 when killed at the deadline
    std::string out;
    std::string err;
};

// Runs svcsh with `arguments`, feeding `input` on standard input (never a terminal), and waits
// for it at most 60 s.
inline ShellRun runShell(const std::vector<std::string>& arguments, const std::string& input = "") {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            close(fd);
        }
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
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
        ADD_FAILURE() << "write";
    }
    close(in[1]);

    ShellRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    bool late = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            late = true;
            kill(child, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP)) != 0) {
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    EXPECT_FALSE(late) << "svcsh did not finish within 60 s";
    run.status = !late && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
