// Platform logging library: named loggers with a level threshold each, and one replaceable sink.
//
// Threading: every call may be made from any thread at any time. A logger handle is created once
// and lives until the process ends; it is never freed.
// Failure: nothing here throws or reports failure. Bad level texts in ZAMLOG_LEVEL are reported
// once on standard error and ignored. A null text argument is treated as empty, and a null logger
// handle as the logger named "" (so a record logged through it is emitted under that name when it
// passes that logger's threshold, which is the default unless set for "").
//
// Levels: 2 error, 3 warning, 4 info, 5 debug, 6 trace. A record is emitted when its level is at
// most the logger's threshold. The default threshold is 3 (warnings and errors). The environment
// variable ZAMLOG_LEVEL, read once on the first call into this library, sets thresholds as a
// number or a name, for all loggers and per logger: "info,services-dispatcher=debug". See
// ZAMLog_configure for its exact form.
#ifndef ZAMLOGGER_H
#define ZAMLOGGER_H

#include <functional>
#include <string>
#include <vector>

// Opaque logger handle; used only through a pointer.
struct ZAMLogger;

typedef int ZAMLogLevel;

enum : int {
    ZAMLOG_LEVEL_ERROR = 2,
    ZAMLOG_LEVEL_WARNING = 3,
    ZAMLOG_LEVEL_INFO = 4,
    ZAMLOG_LEVEL_DEBUG = 5,
    ZAMLOG_LEVEL_TRACE = 6,
};

// One emitted record, as handed to the sink.
struct ZAMLogRecord {
    std::string logger;
    int level = 0;
    std::string file;
    int line = 0;
    std::string function;
    std::string message;
};

// Returns the logger of that name, creating it on first use. The same name always yields the same
// handle. Never returns null.
ZAMLogger* ZAMLogger_getLogger(const char* name);

// Emits one record through the sink when `level` is at most the logger's threshold.
void ZAMLog(ZAMLogger* logger, ZAMLogLevel level, const char* file, int line, const char* function,
            const std::string& message);

// True when debug (5) or trace (6) records of this logger would be emitted. A cheap atomic read:
// callers ask before they format a message.
bool ZAMLog_isDebugEnabled(ZAMLogger* logger);
bool ZAMLog_isTraceEnabled(ZAMLogger* logger);

// Sets the threshold of the named logger (created if it does not exist yet), or, for a null name,
// of every logger, present and future; a null name also drops earlier per-logger settings.
void ZAMLog_setLevel(const char* loggerName, int level);

// The threshold of the named logger (created if it does not exist yet).
int ZAMLog_getLevel(const char* loggerName);

// Parses a level given as a number (0 to 6) or a name (error, warning, info, debug, trace, in any
// letter case), blanks around it allowed. Returns false and leaves `level` alone for anything else.
bool ZAMLog_parseLevel(const std::string& text, int& level);

// The upper-case name of a level ("ERROR", "WARNING", "INFO", "DEBUG", "TRACE"), or its number as
// text for levels without a name.
std::string ZAMLog_levelName(int level);

// The names of all loggers created so far, sorted.
std::vector<std::string> ZAMLog_getLoggerNames();

// Replaces the sink that receives every emitted record; an empty function restores the default
// sink. A record being emitted on another thread while the sink is replaced may still reach the
// previous sink. A sink may itself log: it is called without any lock of the library held, on the
// thread that logged.
//
// The default sink writes each record to standard error as one line, with a single write so that
// lines of concurrent threads do not interleave:
//   2024-05-01T12:34:56.789Z WARNING [logger] file.cpp:42 function: message
// The time is UTC with milliseconds. Line breaks inside the message are written as \n and \r so
// that a record never spans lines.
void ZAMLog_setSink(std::function<void(const ZAMLogRecord&)> sink);

// Applies a text of the ZAMLOG_LEVEL form now, exactly as the environment variable is applied at
// start. The text is a comma-separated list of items, blanks around items and around "=" allowed,
// empty items skipped. A bare level ("info", "5") sets the threshold of every logger present and
// future, as ZAMLog_setLevel(nullptr, level) does; "name=level" sets that logger alone, as
// ZAMLog_setLevel(name, level) does. Per-logger items win over a bare one whatever their order;
// of several bare items the last counts. Each bad item (an unknown level, an empty name) is
// reported as one line on standard error and skipped; the other items still apply.
void ZAMLog_configure(const std::string& text);

#endif  // ZAMLOGGER_H
