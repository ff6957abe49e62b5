// Where consoles are found: a private folder per user, one JSON file per console.
#include <ZAMUnified/Console.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "detail/Discovery.h"

namespace ZAMUnified {

namespace {

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// A folder that only this user can enter: created 0700 when missing; one that exists must be a
// real folder (not a link), owned by this user, with no rights for anyone else, or the console
// would publish its token where others can read it.
void ensurePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        throw std::runtime_error(systemError("cannot create the console folder", path));
    }
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        throw std::runtime_error(systemError("cannot read the console folder", path));
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
        throw std::runtime_error("the console folder " + path +
                                 " is not a private folder of this user (mode 0700)");
    }
}

}  // namespace

std::string consoleDiscoveryFolder(bool create) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder;
    if (runtime != nullptr && runtime[0] != '\0') {
        folder = std::string(runtime) + "/servicesframework";
    } else {
        folder = "/tmp/servicesframework-" + std::to_string(geteuid());
    }
    if (create) {
        ensurePrivateFolder(folder);
    }
    return folder;
}

std::vector<ConsoleHost> findConsoles() {
    std::vector<ConsoleHost> hosts;
    const std::string folder = consoleDiscoveryFolder(false);
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return hosts;
    }
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.compare(0, 8, "console-") != 0 || name.size() < 13 ||
            name.compare(name.size() - 5, 5, ".json") != 0) {
            continue;
        }
        std::ifstream file(folder + "/" + name);
        const auto json = nlohmann::json::parse(file, nullptr, false);
        if (json.is_discarded() || !json.is_object() || !json.contains("endpoint") ||
            !json["endpoint"].is_string() || !json.contains("pid") ||
            !json["pid"].is_number_integer()) {
            continue;
        }
        ConsoleHost host;
        host.endpoint = json["endpoint"].get<std::string>();
        host.token = json.value("token", "");
        host.pid = json["pid"].get<long>();
        host.program = json.value("program", "");
        host.file = folder + "/" + name;
        // A file left by a process that died without removing it names nothing.
        if (kill(static_cast<pid_t>(host.pid), 0) != 0 && errno == ESRCH) {
            continue;
        }
        hosts.push_back(std::move(host));
    }
    closedir(directory);
    std::sort(hosts.begin(), hosts.end(),
              [](const ConsoleHost& a, const ConsoleHost& b) { return a.pid < b.pid; });
    return hosts;
}

namespace detail {

std::string writeDiscoveryFile(const std::string& endpoint, const std::string& token,
                               const std::string& program) {
    const std::string folder = consoleDiscoveryFolder(true);
    const std::string path = folder + "/console-" + std::to_string(getpid()) + ".json";
    const std::string temporary = path + ".new";
    const nlohmann::ordered_json json{
        {"endpoint", endpoint}, {"token", token}, {"pid", getpid()}, {"program", program}};
    const std::string text =
        json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    unlink(temporary.c_str());
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error(systemError("cannot write the discovery file", temporary));
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        throw std::runtime_error(systemError("cannot write the discovery file", path));
    }
    return path;
}

}  // namespace detail
}  // namespace ZAMUnified
