#include <ZAMUnified/ValueTypes.h>

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/HelperReturnValues.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/ValueTypeList.h>

#include <utility>

namespace ZAMUnified {

namespace {

using namespace ReflectionTypeConversion;

template <typename T, T (*parse)(const std::string&)>
std::shared_ptr<FormalParameter> argument(const std::string& typeName,
                                          const std::string& parameterName,
                                          const std::string& text) {
    return std::make_shared<ActualParameter<T>>(typeName, parameterName, parse(text));
}

template <typename E, std::shared_ptr<std::vector<E>> (*parse)(const std::string&)>
std::shared_ptr<FormalParameter> listArgument(const std::string& typeName,
                                              const std::string& parameterName,
                                              const std::string& text) {
    return std::make_shared<ActualParameter<std::shared_ptr<std::vector<E>>>>(
        typeName, parameterName, parse(text));
}

template <typename T>
bool resultText(const ReturnValue& value, std::string& text) {
    const auto* typed = dynamic_cast<const TypedReturnValue<T>*>(&value);
    if (!typed) {
        return false;
    }
    text = ToStringConversions::primitiveReturnTypeAsString(typed->getReturnValue());
    return true;
}

// A ScalarReturnValue<T> is a TypedReturnValue<T> of its own T only, so the casts in their order
// would find the same.
template <typename T>
bool helperResultText(const std::type_info& type, const ReturnValue& value, std::string& text) {
    if (&type != &typeid(ScalarReturnValue<T>)) {
        return false;
    }
    text = ToStringConversions::primitiveReturnTypeAsString(
        static_cast<const ScalarReturnValue<T>&>(value).getReturnValue());
    return true;
}

template <typename E>
bool listElementTexts(const ReturnValue& value, std::vector<std::string>& texts) {
    const auto* list = dynamic_cast<const ListReturnValue<E>*>(&value);
    if (!list) {
        return false;
    }
    texts.clear();
    if (list->getList()) {
        for (const E& element : *list->getList()) {
            texts.push_back(ToStringConversions::primitiveReturnTypeAsString(element));
        }
    }
    return true;
}

using namespace FromStringConversions;

// Constant: built before any code runs, and read without a guard.
constexpr ValueType kTable[] = {
#define ZAMUNIFIED_VALUE_TYPE_ENTRY(type, name, alias, kind, separator, suffix)             \
    ValueType{name,                                                                         \
              alias,                                                                        \
              "list(" name ")",                                                             \
              sizeof(alias) > 1 ? std::string_view("list(" alias ")") : std::string_view(), \
              ValueKind::kind,                                                              \
              separator,                                                                    \
              argument<type, parameterTypeStringAsPrimitiveType##suffix>,                   \
              listArgument<type, parameterTypeStringAsListOfPrimitiveType##suffix>,         \
              resultText<type>,                                                             \
              helperResultText<type>,                                                       \
              listElementTexts<type>},
    ZAMUNIFIED_VALUE_TYPES(ZAMUNIFIED_VALUE_TYPE_ENTRY)
#undef ZAMUNIFIED_VALUE_TYPE_ENTRY
};

}  // namespace

ValueTypeTable valueTypes() {
    return ValueTypeTable(kTable, sizeof kTable / sizeof kTable[0]);
}

const ValueType* findValueType(std::string_view typeName) {
    for (const ValueType& type : valueTypes()) {
        if (type.isNamed(typeName)) {
            return &type;
        }
    }
    return nullptr;
}

const ValueType* findListValueType(std::string_view typeName) {
    for (const ValueType& type : valueTypes()) {
        if (type.isListNamed(typeName)) {
            return &type;
        }
    }
    return nullptr;
}

bool isSecretTypeName(std::string_view typeName) {
    const ValueType* type = findValueType(typeName);
    if (!type) {
        type = findListValueType(typeName);
    }
    return type && type->kind == ValueKind::Secret;
}

}  // namespace ZAMUnified
