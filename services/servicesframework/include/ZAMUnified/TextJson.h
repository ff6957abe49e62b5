// ZAMUnified::TextJson: the one JSON form of text results, shared by `svcsh --json` and the
// console. Values are typed: numbers as JSON numbers, booleans as booleans, lists as arrays, an
// object as {"interface": ..., "guid": ...}, a masked secret as {"masked": true}; reports and
// descriptions as objects. Each function answers one line of compact JSON text (UTF-8; bytes
// that are not UTF-8 become U+FFFD). The schema is written down in the README.
// Threading: pure functions; any thread. Failure: none; every input has a JSON form.
#ifndef ZAMUNIFIED_TEXTJSON_H
#define ZAMUNIFIED_TEXTJSON_H

#include <string>
#include <vector>

#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/TextResult.h>

namespace ZAMUnified {
namespace TextJson {

// A value alone: 42, "text", true, [1,2], {"interface":"Owner","guid":"..."}, {"masked":true},
// null for no value.
std::string value(const TextValue& value);
// A request's outcome under `key` (such as "request") naming `line`:
//   {"request":LINE,"ok":true,"type":TYPE,"text":TEXT,"value":VALUE}
//   {"request":LINE,"ok":false,"error":MESSAGE[,"why":REASON]}
std::string result(const std::string& key, const std::string& line, const TextResult& result);
// {"watch":LABEL,"ok":true,"type":...,"text":...,"value":...[,"change":[FLAG,N,...]]}
std::string notification(const std::string& label, const TextResult& value,
                         const PropertyChange& change);
// {"interface":NAME[,"member":NAME,"memberKind":"method"|"property"],
//  "properties":[{"name","type","readOnly","kind","watchable"[,"description"]}...],
//  "methods":[{"name","returnType","parameters"[,"description"]}...]}
std::string description(const ObjectDescription& description);
// [{"name","type","id"(number or null),"library"(string or null),"loaded","installed"}...]
std::string services(const std::vector<ServiceReport>& services);
// [{"name","path","state","reason"(only when failed),"provides":{"services":[...],
//   "serviceIds":[...],"featureSets":[...],"featureSetIds":[...],"authenticators":[...],
//   "authenticatorIds":[...]}[,"version"][,"frameworkVersion"]}...]
std::string libraries(const std::vector<LibraryReport>& libraries);
// {"dispatcher":{"queued","frontTaskWaitMs","running"(name or null),"runningForMs","tasksRun",
//   "tasksOverGuardTime","longestExecutionMs","longestWaitMs","sinceLastCompletionMs"(or null)},
//  "backgroundPool":{"threadsAlive","threadsBusy","urgentQueued","normalQueued","tasksRun"}}
std::string statistics(const StatisticsReport& statistics);

}  // namespace TextJson
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_TEXTJSON_H
