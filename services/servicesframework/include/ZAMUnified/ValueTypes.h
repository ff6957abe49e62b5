// ZAMUnified::ValueType: the value types of ValueTypeList.h as a table that code can search by
// type name: each entry's names, kind, list separator, how text becomes an argument of the type
// or of a list of it, and how a result of the type becomes text. The formal-parameter conversions,
// the result texts and the text layer look types up here instead of listing them.
// Threading: a constant table; any thread. Failure: look-ups answer a null pointer for a name
// that is no value type; the argument makers throw what the platform parsers throw.
#ifndef ZAMUNIFIED_VALUETYPES_H
#define ZAMUNIFIED_VALUETYPES_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/ReturnValue.h>

namespace ZAMUnified {

// How a value shows as structured data (JSON): a number, true or false, a string, or a secret
// that is masked unless revealing was asked for.
enum class ValueKind { Number, Boolean, String, Secret };

struct ValueType {
    std::string_view name;       // "std::string"
    std::string_view alias;      // "string"; empty when the type has no other name
    std::string_view listName;   // "list(std::string)"
    std::string_view listAlias;  // "list(string)"; empty when the type has no other name
    ValueKind kind;
    std::string_view listSeparator;  // between the elements of a list's text: ";" or "|"

    // An ActualParameter of the type, or of a shared vector of it, from text.
    std::shared_ptr<FormalParameter> (*makeArgument)(const std::string& typeName,
                                                     const std::string& parameterName,
                                                     const std::string& text);
    std::shared_ptr<FormalParameter> (*makeListArgument)(const std::string& typeName,
                                                         const std::string& parameterName,
                                                         const std::string& text);
    // Writes the text of `value` and answers true when it is a TypedReturnValue of the type.
    bool (*resultText)(const ReturnValue& value, std::string& text);
    // The same for a ScalarReturnValue of the type, recognised by `type`, the exact type of
    // `value`, without a walk through the class hierarchy.
    bool (*helperResultText)(const std::type_info& type, const ReturnValue& value,
                             std::string& text);
    // The texts of the elements, when `value` is a ListReturnValue of the type.
    bool (*listElementTexts)(const ReturnValue& value, std::vector<std::string>& texts);

    bool isNamed(std::string_view typeName) const {
        return typeName == name || (!alias.empty() && typeName == alias);
    }
    bool isListNamed(std::string_view typeName) const {
        return typeName == listName || (!listAlias.empty() && typeName == listAlias);
    }
};

// The table itself: constant, in the list's order.
class ValueTypeTable {
  public:
    constexpr ValueTypeTable(const ValueType* first, std::size_t count)
        : first_(first), count_(count) {}
    const ValueType* begin() const { return first_; }
    const ValueType* end() const { return first_ + count_; }
    std::size_t size() const { return count_; }
    const ValueType& operator[](std::size_t index) const { return first_[index]; }

  private:
    const ValueType* first_;
    std::size_t count_;
};

// Every value type, in the list's order, which is the order in which conversions try them.
ValueTypeTable valueTypes();
// The type named `typeName` (either name), or of the list named so; null for any other name.
const ValueType* findValueType(std::string_view typeName);
const ValueType* findListValueType(std::string_view typeName);
// Whether `typeName` names a secret, alone or in a list, whose text must never be shown or kept.
bool isSecretTypeName(std::string_view typeName);

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_VALUETYPES_H
