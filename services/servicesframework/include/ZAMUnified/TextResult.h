// ZAMUnified::TextResult: what a text front end gets back for a request: success or the failure
// text, and the value three ways: its reflection type name, its text (as the result texts of
// ReflectionTypeConversion give it) and its structure (TextValue: number, boolean, string,
// secret, list or object reference). Secrets are masked unless revealing was asked for.
// Threading: plain values; presentValue() reads the result on the caller's thread, which must be
// one that may read it (the dispatcher thread for service results). Failure: a value that gives
// no text shows the framework's failure text, and its structure is that text as a string.
#ifndef ZAMUNIFIED_TEXTRESULT_H
#define ZAMUNIFIED_TEXTRESULT_H

#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/ReturnValue.h>

namespace ZAMUnified {

// The text shown for a secret that is not revealed.
extern const char* const kMaskedSecretText;  // "********"

struct TextValue {
    enum class Kind { Null, Number, Boolean, String, Secret, List, Object };
    Kind kind = Kind::Null;
    // Number, Boolean ("true"/"false"), String; Secret only when revealed.
    std::string text;
    bool masked = false;              // Secret: the text is withheld
    std::vector<TextValue> elements;  // List
    std::string interfaceName;        // Object
    std::string guid;                 // Object; "" for an empty object pointer
};

struct TextResult {
    // Whose fault a failure is, for a front end that answers with a status: the line itself
    // (its syntax or arguments), a refusal (no such service, member or object; a wrong type), or
    // service code that threw.
    enum class Failure { None, Request, Refused, Exception };

    bool ok = false;
    Failure failure = Failure::None;
    std::string error;  // why the request failed
    std::string why;    // the factory's reason when the service could not be had; often ""
    std::string type;   // the value's type name; "" when the request gave no value
    std::string text;   // the value's text; "" for none and for "void"
    TextValue value;
    std::shared_ptr<ReturnValue> returnValue;  // the value itself; empty on failure
    // An argument of the request was a secret (a secure string or a list of them), so the line
    // that holds it must not be kept anywhere (history, logs) in clear.
    bool carriedSecret = false;
};

// A successful TextResult for `value` (which may be empty: no value).
TextResult presentValue(const std::shared_ptr<ReturnValue>& value, bool revealSecrets);
// A failed TextResult, a refusal unless `failure` says otherwise.
TextResult failedResult(std::string error, std::string why = "",
                        TextResult::Failure failure = TextResult::Failure::Refused);

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_TEXTRESULT_H
