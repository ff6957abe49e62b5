#include "Output.h"

#include <nlohmann/json.hpp>

namespace svcsh {

namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

bool Output::answer(const std::string& kind, const std::string& line, const std::string& json) {
    const Json answer = Json::parse(json, nullptr, false);
    if (!answer.is_object() || !answer.value("ok", false)) {
        const std::string error = answer.is_object() ? answer.value("error", "") : json;
        return failure(kind, line, error, answer.is_object() ? answer.value("why", "") : "");
    }
    if (json_) {
        out_ << json << std::endl;
        return true;
    }
    const Json& type = answer["type"];
    if (type.is_string() && type != "void") {
        out_ << answer["text"].get<std::string>() << std::endl;
    }
    return true;
}

void Output::notification(const std::string& json) {
    const Json change = Json::parse(json, nullptr, false);
    const std::string label = change.value("watch", "");
    if (!change.value("ok", false)) {
        failure("watch", label, change.value("error", ""));
        return;
    }
    if (json_) {
        out_ << json << std::endl;
        return;
    }
    out_ << label << " = " << (change["text"].is_string() ? change["text"].get<std::string>() : "");
    if (change.contains("change")) {
        const Json& list = change["change"];
        out_ << " (change: " << (list.at(0).get<bool>() ? "true" : "false");
        for (std::size_t i = 1; i < list.size(); ++i) {
            out_ << ", " << list[i].get<int>();
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
