// The shell's JSON output: one object per line, built field by field in insertion order.
#ifndef SVCSH_JSON_H
#define SVCSH_JSON_H

#include <string>

namespace svcsh {

// `text` as a JSON string literal. Control characters are escaped; other bytes pass through, so
// UTF-8 text stays readable.
std::string jsonString(const std::string& text);

class JsonObject {
  public:
    JsonObject& add(const std::string& key, const std::string& value);
    JsonObject& add(const std::string& key, const char* value) {
        return add(key, std::string(value));
    }
    JsonObject& add(const std::string& key, bool value);
    JsonObject& addNull(const std::string& key);
    // `json` must already be valid JSON (an array built by the caller, say).
    JsonObject& addRaw(const std::string& key, const std::string& json);
    std::string str() const { return "{" + body_ + "}"; }

  private:
    std::string body_;
};

}  // namespace svcsh

#endif  // SVCSH_JSON_H
