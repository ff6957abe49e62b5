#include "Output.h"

#include <nlohmann/json.hpp>

namespace svcsh {

namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

void Output::result(const std::string& line, const ZAMUnified::TextResult& result) {
    if (json_) {
        out_ << ZAMUnified::TextJson::result("request", line, result) << std::endl;
        return;
    }
    if (result.returnValue && result.type != "void") {
        out_ << result.text << std::endl;
    }
}

void Output::notification(const std::string& label, const ZAMUnified::TextResult& value,
                          const ZAMUnified::PropertyChange& change) {
    if (!value.ok) {
        failure("watch", label, value.error);
        return;
    }
    if (json_) {
        out_ << ZAMUnified::TextJson::notification(label, value, change) << std::endl;
        return;
    }
    out_ << label << " = " << value.text;
    if (change.isListChange) {
        out_ << " (change: " << (change.flag ? "true" : "false");
        for (int position : change.positions) {
            out_ << ", " << position;
        }
        out_ << ")";
    }
    out_ << std::endl;
}

void Output::lines(const std::string& command, const std::vector<std::string>& lines) {
    if (json_) {
        out_ << dumped(Json{{"command", command}, {"ok", true}, {"output", lines}}) << std::endl;
        return;
    }
    for (const std::string& line : lines) {
        out_ << line << '\n';
    }
    out_ << std::flush;
}

void Output::structured(const std::string& command, const std::vector<std::string>& lines,
                        const std::string& key, const std::string& json) {
    if (!json_) {
        this->lines(command, lines);
        return;
    }
    out_ << dumped(Json{{"command", command}, {"ok", true}, {key, Json::parse(json)}}) << std::endl;
}

bool Output::failure(const std::string& kind, const std::string& line, const std::string& message,
                     const std::string& why) {
    if (json_) {
        Json json{{kind, line}, {"ok", false}, {"error", message}};
        if (!why.empty()) {
            json["why"] = why;
        }
        out_ << dumped(json) << std::endl;
        return false;
    }
    out_ << std::flush;
    err_ << where() << ": " << message << std::endl;
    if (!why.empty()) {
        err_ << where() << ": why: " << why << std::endl;
    }
    return false;
}

void Output::pumpFailure(const std::string& failure) {
    if (json_) {
        out_ << dumped(Json{{"pump", where_}, {"ok", false}, {"error", failure}}) << std::endl;
        return;
    }
    out_ << std::flush;
    err_ << where() << ": a dispatcher task threw " << failure << std::endl;
}

}  // namespace svcsh
