// The four module loggers and the helpers every module logs through.
//
// The handles are obtained while the framework library is loaded and only read afterwards. Every
// message is finished text before it reaches the logger; debug and trace messages are not even
// composed unless their level is enabled, because the busiest paths log at those levels.
#ifndef SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H
#define SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H

#include <sstream>

#include <ZAMLogger.h>

#include "common/detail/Visibility.h"

namespace ZAMUnified {
namespace detail {

SF_HIDDEN extern ZAMLogger* const taskDispatcherLogger;      // "TaskDispatcher"
SF_HIDDEN extern ZAMLogger* const libraryLoaderLogger;       // "library-loader"
SF_HIDDEN extern ZAMLogger* const servicesDispatcherLogger;  // "services-dispatcher"
SF_HIDDEN extern ZAMLogger* const unifiedFactoryLogger;      // "unified-factory"

}  // namespace detail
}  // namespace ZAMUnified

// SF_LOG(logger, level, sourcePath, function, parts): formats `parts` (a chain for operator<<)
// into one message and emits it with the caller's line.
#define SF_LOG(logger, level, sourcePath, function, parts)                                 \
    do {                                                                                   \
        std::ostringstream sfLogStream_;                                                   \
        sfLogStream_ << parts;                                                             \
        ZAMLog((logger), (level), (sourcePath), __LINE__, (function), sfLogStream_.str()); \
    } while (0)

// As SF_LOG at debug or trace level; `parts` is evaluated only when that level is enabled.
#define SF_LOG_DEBUG(logger, sourcePath, function, parts)                          \
    do {                                                                           \
        if (ZAMLog_isDebugEnabled(logger)) {                                       \
            SF_LOG((logger), ZAMLOG_LEVEL_DEBUG, (sourcePath), (function), parts); \
        }                                                                          \
    } while (0)

#define SF_LOG_TRACE(logger, sourcePath, function, parts)                          \
    do {                                                                           \
        if (ZAMLog_isTraceEnabled(logger)) {                                       \
            SF_LOG((logger), ZAMLOG_LEVEL_TRACE, (sourcePath), (function), parts); \
        }                                                                          \
    } while (0)

#endif  // SERVICESFRAMEWORK_DETAIL_MODULELOGGERS_H
