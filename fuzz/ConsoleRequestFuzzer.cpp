// Hostile bytes as a request to the console: HTTP parsed with the limits the server uses, then
// the Host, Origin and token checks and the API's decoding, all before anything reaches the
// dispatcher or a plug-in. Every refusal is 400, 404 or 405 with a JSON body that names the
// problem; every accepted call is one the API knows; a forged token never gets in.
#include <ZAMUnified/ConsoleApi.h>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include "FuzzCheck.h"
#include "detail/Security.h"
#include "detail/Target.h"

namespace {

namespace http = boost::beast::http;
using namespace ZAMUnified;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(1024 * 1024);
    parser.eager(true);
    boost::beast::error_code error;
    parser.put(boost::asio::buffer(data, size), error);
    if (!error && !parser.is_done()) {
        parser.put_eof(error);
    }
    if (error || !parser.is_done()) {
        return 0;
    }
    const auto& request = parser.get();
    // A field's value, or "" when it is missing.
    const auto field = [&](http::field name) { return std::string(request[name]); };

    static detail::Gate gate("0123456789abcdef0123456789abcdef",
                             {"127.0.0.1:8080", "localhost:8080"});
    gate.refuseOrigin(field(http::field::host), field(http::field::origin),
                      request.find(http::field::origin) != request.end());
    // The fuzzer cannot know the token, so nothing it sends may pass as it.
    SF_FUZZ_CHECK(!gate.admits(field(http::field::authorization), field(http::field::cookie)) ||
                  field(http::field::authorization).find(gate.token()) != std::string::npos);

    ConsoleCall call;
    ConsoleAnswer refusal;
    const std::string target(request.target());
    if (ConsoleApi::decode(std::string(request.method_string()), target, request.body(), call,
                           refusal)) {
        using Kind = ConsoleCall::Kind;
        SF_FUZZ_CHECK(call.kind >= Kind::Run && call.kind <= Kind::Status &&
                      (call.kind != Kind::Describe || !call.text.empty()));
        return 0;
    }
    SF_FUZZ_CHECK(refusal.status == 400 || refusal.status == 404 || refusal.status == 405);
    const auto body = nlohmann::json::parse(refusal.body, nullptr, false);
    SF_FUZZ_CHECK(body.is_object() && body.value("ok", true) == false &&
                  !body.value("error", "").empty());
    // A target that decodes survives a round of encoding each of its segments.
    detail::Target parts, again;
    std::string problem;
    if (!detail::decodeTarget(target, parts, problem)) {
        SF_FUZZ_CHECK(!problem.empty());
        return 0;
    }
    std::string rebuilt;
    for (const std::string& segment : parts.segments) {
        rebuilt += "/" + detail::percentEncode(segment);
    }
    SF_FUZZ_CHECK(detail::decodeTarget(rebuilt.empty() ? "/" : rebuilt, again, problem) &&
                  again.segments == parts.segments);
    return 0;
}
