#include "Json.h"

#include <cstdio>

namespace svcsh {

std::string jsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\r':
                json += "\\r";
                break;
            case '\t':
                json += "\\t";
                break;
            case '\b':
                json += "\\b";
                break;
            case '\f':
                json += "\\f";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    json += escaped;
                } else {
                    json += c;
                }
        }
    }
    return json + "\"";
}

JsonObject& JsonObject::add(const std::string& key, const std::string& value) {
    return addRaw(key, jsonString(value));
}

JsonObject& JsonObject::add(const std::string& key, bool value) {
    return addRaw(key, value ? "true" : "false");
}

JsonObject& JsonObject::addNull(const std::string& key) {
    return addRaw(key, "null");
}

JsonObject& JsonObject::addRaw(const std::string& key, const std::string& json) {
    body_ += (body_.empty() ? "" : ",") + jsonString(key) + ":" + json;
    return *this;
}

}  // namespace svcsh
