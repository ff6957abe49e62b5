#include "ZAMLogger.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

struct ZAMLogger {
    explicit ZAMLogger(std::string loggerName, int level)
        : name(std::move(loggerName)), threshold(level) {}

    const std::string name;
    // Read without any lock on every log call and every isDebugEnabled check; relaxed ordering is
    // enough because a threshold guards no other data.
    std::atomic<int> threshold;
};

namespace {

using Sink = std::function<void(const ZAMLogRecord&)>;

constexpr const char* kBlanks = " \t\n\r\f\v";

std::string trimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Writes the whole buffer with as few write calls as the kernel allows: one in practice, which is
// what keeps lines from concurrent threads and processes whole on a shared stderr.
void writeToStderr(const std::string& text) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // Nowhere left to report a failing stderr.
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::string utcTimestamp() {
    const auto now = std::chrono::system_clock::now();
    const auto wholeSeconds = std::chrono::floor<std::chrono::seconds>(now);
    const std::time_t seconds = std::chrono::system_clock::to_time_t(wholeSeconds);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - wholeSeconds).count();
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    // Roomy enough for any int in every field, which the compiler cannot rule out.
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(milliseconds));
    return text;
}

void defaultSink(const ZAMLogRecord& record) {
    std::string line = utcTimestamp();
    line += ' ';
    line += ZAMLog_levelName(record.level);
    line += " [";
    line += record.logger;
    line += "] ";
    line += record.file;
    line += ':';
    line += std::to_string(record.line);
    line += ' ';
    line += record.function;
    line += ": ";
    // A raw line break would split the record and make the log ambiguous for readers that go line
    // by line, so it is written escaped.
    for (const char c : record.message) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            line += c;
        }
    }
    line += '\n';
    writeToStderr(line);
}

class Registry {
  public:
    // Deliberately leaked: framework code may log from static destructors of other libraries,
    // after a registry with static storage would already be gone.
    static Registry& instance() {
        static Registry* const registry = new Registry();
        return *registry;
    }

    ZAMLogger* get(const std::string& name) {
        std::lock_guard<std::mutex> lock(mutex_);
        return getLocked(name);
    }

    void setLevel(const char* name, int level) {
        std::lock_guard<std::mutex> lock(mutex_);
        setLevelLocked(name, level);
    }

    std::vector<std::string> names() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> result;
        result.reserve(loggers_.size());
        for (const auto& entry : loggers_) {
            result.push_back(entry.first);
        }
        return result;
    }

    void configure(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        configureLocked(text);
    }

    void setSink(Sink sink) {
        std::shared_ptr<const Sink> replacement;
        if (sink) {
            replacement = std::make_shared<const Sink>(std::move(sink));
        }
        std::shared_ptr<const Sink> previous;
        {
            std::lock_guard<std::mutex> lock(sinkMutex_);
            previous = std::exchange(sink_, std::move(replacement));
        }
        // `previous` dies here, outside the lock, so a sink whose captures log while being
        // destroyed cannot deadlock on sinkMutex_.
    }

    // A copy, so the sink stays alive for the caller even if it is replaced meanwhile.
    std::shared_ptr<const Sink> sink() {
        std::lock_guard<std::mutex> lock(sinkMutex_);
        return sink_;
    }

  private:
    Registry() {
        const char* environment = std::getenv("ZAMLOG_LEVEL");
        if (environment != nullptr) {
            configureLocked(environment);
        }
    }

    ZAMLogger* getLocked(const std::string& name) {
        auto found = loggers_.find(name);
        if (found == loggers_.end()) {
            // Never deleted: handles are held in globals all over the process.
            found = loggers_.emplace(name, new ZAMLogger(name, defaultLevel_)).first;
        }
        return found->second;
    }

    void setLevelLocked(const char* name, int level) {
        if (name == nullptr) {
            // Overwriting every threshold is all it takes to drop per-logger settings: a logger
            // keeps no other memory of having been set on its own.
            defaultLevel_ = level;
            for (auto& entry : loggers_) {
                entry.second->threshold.store(level, std::memory_order_relaxed);
            }
            return;
        }
        ZAMLogger* logger = getLocked(name);
        logger->threshold.store(level, std::memory_order_relaxed);
    }

    void configureLocked(const std::string& text) {
        bool haveDefault = false;
        int defaultLevel = 0;
        std::vector<std::pair<std::string, int>> perLogger;

        std::size_t start = 0;
        while (start <= text.size()) {
            auto end = text.find(',', start);
            if (end == std::string::npos) {
                end = text.size();
            }
            const std::string item = trimBlanks(text.substr(start, end - start));
            start = end + 1;
            if (item.empty()) {
                continue;  // Stray or trailing commas are harmless.
            }
            const auto equals = item.find('=');
            int level = 0;
            if (equals == std::string::npos) {
                if (ZAMLog_parseLevel(item, level)) {
                    haveDefault = true;
                    defaultLevel = level;
                    continue;
                }
            } else {
                const std::string name = trimBlanks(item.substr(0, equals));
                if (!name.empty() && ZAMLog_parseLevel(item.substr(equals + 1), level)) {
                    perLogger.emplace_back(name, level);
                    continue;
                }
            }
            writeToStderr("ZAMLOG_LEVEL: ignoring bad item \"" + item + "\"\n");
        }

        // The default goes first so that per-logger items win whatever their position in the text.
        if (haveDefault) {
            setLevelLocked(nullptr, defaultLevel);
        }
        for (const auto& entry : perLogger) {
            setLevelLocked(entry.first.c_str(), entry.second);
        }
    }

    std::mutex mutex_;
    std::map<std::string, ZAMLogger*> loggers_;
    int defaultLevel_ = ZAMLOG_LEVEL_WARNING;

    // Separate from mutex_ and held only to copy the pointer, never while a sink runs.
    std::mutex sinkMutex_;
    std::shared_ptr<const Sink> sink_;
};

ZAMLogger* resolve(ZAMLogger* logger) {
    return logger != nullptr ? logger : Registry::instance().get(std::string());
}

}  // namespace

ZAMLogger* ZAMLogger_getLogger(const char* name) {
    return Registry::instance().get(name != nullptr ? name : "");
}

void ZAMLog(ZAMLogger* logger, ZAMLogLevel level, const char* file, int line, const char* function,
            const std::string& message) {
    logger = resolve(logger);
    if (level > logger->threshold.load(std::memory_order_relaxed)) {
        return;
    }
    ZAMLogRecord record;
    record.logger = logger->name;
    record.level = level;
    record.file = file != nullptr ? file : "";
    record.line = line;
    record.function = function != nullptr ? function : "";
    record.message = message;

    const std::shared_ptr<const Sink> sink = Registry::instance().sink();
    if (sink) {
        (*sink)(record);
    } else {
        defaultSink(record);
    }
}

bool ZAMLog_isDebugEnabled(ZAMLogger* logger) {
    return resolve(logger)->threshold.load(std::memory_order_relaxed) >= ZAMLOG_LEVEL_DEBUG;
}

bool ZAMLog_isTraceEnabled(ZAMLogger* logger) {
    return resolve(logger)->threshold.load(std::memory_order_relaxed) >= ZAMLOG_LEVEL_TRACE;
}

void ZAMLog_setLevel(const char* loggerName, int level) {
    Registry::instance().setLevel(loggerName, level);
}

int ZAMLog_getLevel(const char* loggerName) {
    return ZAMLogger_getLogger(loggerName)->threshold.load(std::memory_order_relaxed);
}

bool ZAMLog_parseLevel(const std::string& text, int& level) {
    const std::string word = asciiLower(trimBlanks(text));
    static const std::pair<const char*, int> kNames[] = {
        {"error", ZAMLOG_LEVEL_ERROR}, {"warning", ZAMLOG_LEVEL_WARNING},
        {"info", ZAMLOG_LEVEL_INFO},   {"debug", ZAMLOG_LEVEL_DEBUG},
        {"trace", ZAMLOG_LEVEL_TRACE},
    };
    for (const auto& entry : kNames) {
        if (word == entry.first) {
            level = entry.second;
            return true;
        }
    }
    int number = 0;
    const char* const end = word.data() + word.size();
    const auto parsed = std::from_chars(word.data(), end, number);
    if (word.empty() || parsed.ec != std::errc() || parsed.ptr != end || number < 0 ||
        number > ZAMLOG_LEVEL_TRACE) {
        return false;
    }
    level = number;
    return true;
}

std::string ZAMLog_levelName(int level) {
    switch (level) {
        case ZAMLOG_LEVEL_ERROR:
            return "ERROR";
        case ZAMLOG_LEVEL_WARNING:
            return "WARNING";
        case ZAMLOG_LEVEL_INFO:
            return "INFO";
        case ZAMLOG_LEVEL_DEBUG:
            return "DEBUG";
        case ZAMLOG_LEVEL_TRACE:
            return "TRACE";
        default:
            return std::to_string(level);
    }
}

std::vector<std::string> ZAMLog_getLoggerNames() {
    return Registry::instance().names();
}

void ZAMLog_setSink(std::function<void(const ZAMLogRecord&)> sink) {
    Registry::instance().setSink(std::move(sink));
}

void ZAMLog_configure(const std::string& text) {
    Registry::instance().configure(text);
}
