// Captures the records of chosen loggers through the logger's sink for the life of the object,
// with those loggers' thresholds raised; safe for records logged on other threads.
#ifndef SERVICESFRAMEWORK_TESTS_LOGCAPTURE_H
#define SERVICESFRAMEWORK_TESTS_LOGCAPTURE_H

#include <ZAMLogger.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace sftest {

class LogCapture {
  public:
    explicit LogCapture(std::vector<std::string> loggers, int level = ZAMLOG_LEVEL_INFO)
        : loggers_(std::move(loggers)) {
        ZAMLog_setSink([this](const ZAMLogRecord& record) {
            if (std::find(loggers_.begin(), loggers_.end(), record.logger) != loggers_.end()) {
                std::lock_guard<std::mutex> lock(mutex_);
                records_.push_back(record);
            }
        });
        setLevel(level);
    }
    ~LogCapture() {
        ZAMLog_setSink({});
        setLevel(ZAMLOG_LEVEL_WARNING);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void setLevel(int level) {
        for (const std::string& logger : loggers_) {
            ZAMLog_setLevel(logger.c_str(), level);
        }
    }
    std::vector<ZAMLogRecord> records() {
        std::lock_guard<std::mutex> lock(mutex_);
        return records_;
    }
    void forget() {
        std::lock_guard<std::mutex> lock(mutex_);
        records_.clear();
    }
    // The messages at `level` (any level when 0), in order.
    std::vector<std::string> messages(int level = 0) {
        std::vector<std::string> result;
        for (const ZAMLogRecord& record : records()) {
            if (level == 0 || record.level == level) {
                result.push_back(record.message);
            }
        }
        return result;
    }
    int count(const std::string& message) {
        const std::vector<std::string> all = messages();
        return static_cast<int>(std::count(all.begin(), all.end(), message));
    }

  private:
    std::vector<std::string> loggers_;
    std::mutex mutex_;
    std::vector<ZAMLogRecord> records_;
};

}  // namespace sftest

#endif  // SERVICESFRAMEWORK_TESTS_LOGCAPTURE_H
