// Reading a request target ("/v1/describe?path=Hello%20World"): its path segments and query
// parameters, percent-decoded. Pure functions.
// Failure: decodeTarget answers false with a message saying what is wrong with the target.
#ifndef SERVICESCONSOLE_DETAIL_TARGET_H
#define SERVICESCONSOLE_DETAIL_TARGET_H

#include <map>
#include <string>
#include <vector>

namespace ZAMUnified {
namespace detail {

struct Target {
    std::vector<std::string> segments;  // "/v1/featuresets/7/start" -> v1 featuresets 7 start
    std::map<std::string, std::string> query;  // the last of a repeated name holds
};

bool decodeTarget(const std::string& text, Target& target, std::string& problem);
// "%XX" for every byte outside the unreserved set, so that the text survives as one segment or
// query value.
std::string percentEncode(const std::string& text);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESCONSOLE_DETAIL_TARGET_H
