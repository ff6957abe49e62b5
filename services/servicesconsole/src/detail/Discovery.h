// The discovery file console-<pid>.json that tells operators and `svcsh hosts` where a console
// listens and with which token. Failure: writeDiscoveryFile throws std::runtime_error.
#ifndef SERVICESCONSOLE_DETAIL_DISCOVERY_H
#define SERVICESCONSOLE_DETAIL_DISCOVERY_H

#include <string>

namespace ZAMUnified {
namespace detail {

// Writes the file (mode 0600, replaced whole) and answers its path.
std::string writeDiscoveryFile(const std::string& endpoint, const std::string& token,
                               const std::string& program);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_DISCOVERY_H
