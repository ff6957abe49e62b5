// First load of a service library, timed as whole processes, ours side by side with the bare
// floor:
//   FirstLoad/ours  a fresh host process makes the bench plug-in known by its manifest and gets
//                   its service through the service factory (firstload_ours)
//   FirstLoad/bare  a fresh process dlopens the same library, dlsyms a C function and calls it
//                   (firstload_bare)
// Each iteration starts one process and waits for its end; the time from spawn to reaped exit is
// the iteration's time, so start-up, loading and exit of the process are all in the figure.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Runs `program` with one argument and waits for it; empty on a clean exit 0, else what went
// wrong.
std::string runProcess(const std::string& program, const std::string& argument) {
    std::vector<char*> argv = {const_cast<char*>(program.c_str()),
                               const_cast<char*>(argument.c_str()), nullptr};
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        return "cannot start " + program + ": " + std::strerror(spawned);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return "cannot wait for " + program + ": " + std::strerror(errno);
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return program + " failed (status " + std::to_string(status) + ")";
    }
    return std::string();
}

void firstLoad(benchmark::State& state, const char* program, const char* argument) {
    // One run outside the timing: a broken build fails here with its reason, and the library
    // files are in the page cache for every variant alike.
    const std::string failure = runProcess(program, argument);
    if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
        return;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::string error = runProcess(program, argument);
        const auto end = std::chrono::steady_clock::now();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

bool registerLoadingBenchmarks() {
    benchmark::RegisterBenchmark("FirstLoad/ours", firstLoad, SF_BENCH_FIRSTLOAD_OURS,
                                 SF_BENCH_PLUGIN_DIR)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("FirstLoad/bare", firstLoad, SF_BENCH_FIRSTLOAD_BARE,
                                 SF_BENCH_PLUGIN_LIBRARY)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    return true;
}

const bool registered = registerLoadingBenchmarks();

}  // namespace
