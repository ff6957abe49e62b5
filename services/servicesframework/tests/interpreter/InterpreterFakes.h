// A small world of test services for the interpreter: a service reflector "Svc" with each kind of
// property, overloaded methods, methods returning objects, non-object values and empty values,
// and an owner object reached through it. Every member records what the interpreter did to it.
#ifndef SF_TESTS_INTERPRETER_INTERPRETERFAKES_H
#define SF_TESTS_INTERPRETER_INTERPRETERFAKES_H

#include <ZAMUnified/Interpreter.h>

#include "reflection/ReflectionFakes.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace interpreter_test {

using namespace ZAMUnified;
using reflection_test::FakeConnection;
using reflection_test::FakeNotifier;
using reflection_test::FakeObject;
using reflection_test::FakeReflector;
using reflection_test::TextReturnValue;
using reflection_test::ValueMaker;
using reflection_test::ValueProperty;

// Thrown by service code; must reach the caller as it is.
struct ServiceFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A list property of either kind, whose connected function the test calls.
template <typename Base, typename Callback>
class FakeList : public Base {
  public:
    FakeList(const std::string& type, const std::string& name, bool primitive, std::string text)
        : Base(type, name, true, primitive), text_(std::move(text)) {}
    std::shared_ptr<ReturnValue> getValue() override {
        return std::make_shared<TextReturnValue>(this->type, text_);
    }
    bool matchesParameters(std::shared_ptr<ParametersCollection>) override { return false; }
    std::shared_ptr<VoidReturnValue> setValue(std::shared_ptr<ParametersCollection>) override {
        return nullptr;
    }
    std::weak_ptr<PropertyNotifierConnection> subscribe(Callback callback) override {
        connected = std::move(callback);
        return connection;
    }
    Callback connected;
    std::shared_ptr<FakeConnection> connection = std::make_shared<FakeConnection>();

  private:
    std::string text_;
};
using BasicList = FakeList<ListProperty, std::function<void(bool, int, int)>>;
using MutableList = FakeList<MutableListProperty, std::function<void(bool, int, int, int)>>;

// A property of none of the three kinds.
using OddProperty = reflection_test::FakeProperty;

// Accepts exactly `arity` arguments of any type.
class ScriptMethod : public Method {
  public:
    ScriptMethod(const std::string& name, int arity, ValueMaker maker)
        : Method("object", "", name), arity_(arity), make(std::move(maker)) {}
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        return (parameters ? parameters->size() : 0) == arity_;
    }
    std::shared_ptr<ReturnValue> invoke(std::shared_ptr<ParametersCollection> parameters) override {
        received = std::move(parameters);
        ++calls;
        return make();
    }
    int calls = 0;
    std::shared_ptr<ParametersCollection> received;

  private:
    int arity_;
    ValueMaker make;
};

inline std::shared_ptr<ReturnValue> text(const std::string& type, const std::string& value) {
    return std::make_shared<TextReturnValue>(type, value);
}

inline std::shared_ptr<FormalParameter> stringArg(const std::string& value) {
    return std::make_shared<ActualParameter<std::string>>("string", "value", value);
}

inline std::shared_ptr<FormalParameter> intArg(int value) {
    return std::make_shared<ActualParameter<int>>("int", "value", value);
}

inline std::shared_ptr<ParametersCollection> collectionOf(
    const std::vector<std::shared_ptr<FormalParameter>>& parameters) {
    auto collection = std::make_shared<ParametersCollection>();
    for (const auto& parameter : parameters) {
        collection->push_back(parameter);
    }
    return collection;
}

// The interpreter's messages, which the interpreter's callers see word for word.
const std::string kNoValue =
    "\n cannot be called, because the method that executed previously failed to return a valid "
    "ReturnValue.";

inline std::string noReflector(const std::string& name) {
    return "Cannot execute method or property \"" + name +
           "\", because the ReturnValue of the previous Method or Property has no Reflector (is "
           "not an UnifiedBusinessObject).";
}

inline std::string noService(const std::string& name) {
    return "No Service called \"" + name + "\" was found.";
}

inline std::string noMember(const std::string& name) {
    return "No Method or Property named \"" + name + "\" was found.";
}

// "type:text" of a value, or "<none>" for an empty one.
inline std::string describe(const std::shared_ptr<ReturnValue>& value) {
    return value ? value->getReturnType() + ":" + value->getValueAsString() : "<none>";
}

struct World {
    World() {
        ownerName = std::make_shared<ValueProperty>(
            "Name", "string", [] { return text("string", "owner"); }, ownerNotifier);
        owner->Properties()->addProperty(ownerName);

        auto ownerValue = [ownerReflector = owner]() -> std::shared_ptr<ReturnValue> {
            return std::make_shared<TextReturnValue>("object", "object", ownerReflector);
        };
        // Each read answers the number of reads so far, so two reads give two values.
        count = std::make_shared<ValueProperty>(
            "Count", "int",
            [reads = std::make_shared<int>(0)] { return text("int", std::to_string(++*reads)); },
            notifier);
        ownerProperty = std::make_shared<ValueProperty>("Owner", "object", ownerValue, nullptr);
        for (auto property : std::vector<std::shared_ptr<Property>>{
                 count, ownerProperty, items, cells, odd,
                 std::make_shared<ValueProperty>(
                     "Name", "string", [] { return text("string", "service"); }, nullptr),
                 std::make_shared<ValueProperty>(
                     "Nothing", "int", [] { return nullptr; }, nullptr),
                 std::make_shared<ValueProperty>(
                     "Text", "string", [] { return text("string", "plain"); }, nullptr)}) {
            service->Properties()->addProperty(property);
        }
        for (auto method : std::vector<std::shared_ptr<Method>>{
                 getX, addOne, addTwo, std::make_shared<ScriptMethod>("owner", 0, ownerValue),
                 std::make_shared<ScriptMethod>("fail", 0, []() -> std::shared_ptr<ReturnValue> {
                     throw ServiceFault("service broke");
                 })}) {
            service->Methods()->addMethod(method);
        }
        (*reflectors)["Svc"] = service;
        (*reflectors)["Empty"] = nullptr;
    }
    ~World() {
        notifier->clear();
        ownerNotifier->clear();
        items->connected = nullptr;
        cells->connected = nullptr;
    }
    int reads() const { return count->reads; }

    std::shared_ptr<FakeNotifier> notifier = std::make_shared<FakeNotifier>();
    std::shared_ptr<FakeNotifier> ownerNotifier = std::make_shared<FakeNotifier>();
    std::shared_ptr<FakeReflector> service = std::make_shared<FakeReflector>("Svc");
    std::shared_ptr<FakeReflector> owner = std::make_shared<FakeReflector>("Owner");
    std::shared_ptr<ValueProperty> count;
    std::shared_ptr<ValueProperty> ownerProperty;
    std::shared_ptr<ValueProperty> ownerName;
    std::shared_ptr<BasicList> items =
        std::make_shared<BasicList>("list(int)", "Items", true, "1,2");
    std::shared_ptr<MutableList> cells =
        std::make_shared<MutableList>("list(object)", "Cells", false, "cells");
    std::shared_ptr<OddProperty> odd = std::make_shared<OddProperty>("Odd", true);
    std::shared_ptr<ScriptMethod> getX =
        std::make_shared<ScriptMethod>("getX", 0, [] { return text("string", "x"); });
    std::shared_ptr<ScriptMethod> addOne =
        std::make_shared<ScriptMethod>("add", 1, [] { return text("int", "one"); });
    std::shared_ptr<ScriptMethod> addTwo =
        std::make_shared<ScriptMethod>("add", 2, [] { return text("int", "two"); });
    std::shared_ptr<ReflectorMap> reflectors = std::make_shared<ReflectorMap>();
    Interpreter interpreter{reflectors};
};

}  // namespace interpreter_test

#endif  // SF_TESTS_INTERPRETER_INTERPRETERFAKES_H
