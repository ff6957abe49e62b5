// A small world of test services for the interpreter: a service reflector "Svc" with each kind of
// property, overloaded methods, methods returning objects, non-object values and empty values,
// and an owner object reached through it. Every member records what the interpreter did to it.
#ifndef SF_TESTS_INTERPRETER_INTERPRETERFAKES_H
#define SF_TESTS_INTERPRETER_INTERPRETERFAKES_H

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/MutableListProperty.h>

#include "reflection/ReflectionFakes.h"

#include <stdexcept>

namespace interpreter_test {

using namespace reflection_test;

// Thrown by service code; must reach the caller as it is.
struct ServiceFault : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A list property of either kind, whose changes the test announces through `changes`.
template <typename Base, typename... Args>
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
    std::weak_ptr<PropertyNotifierConnection> subscribe(
        std::function<void(Args...)> callback) override {
        return changes.connect(std::move(callback));
    }
    BasicChangeNotifier<Args...> changes;

  private:
    std::string text_;
};
using BasicList = FakeList<ListProperty, bool, int, int>;
using MutableList = FakeList<MutableListProperty, bool, int, int, int>;

inline std::shared_ptr<ReturnValue> text(const std::string& type, const std::string& value) {
    return std::make_shared<TextReturnValue>(type, value);
}

inline std::shared_ptr<FormalParameter> stringArg(const std::string& value) {
    return std::make_shared<ActualParameter<std::string>>("string", "value", value);
}

inline std::shared_ptr<FormalParameter> intArg(int value) {
    return std::make_shared<ActualParameter<int>>("int", "value", value);
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

inline std::string methodRefused(const std::string& name) {
    return "The parameters entered for Method \"" + name +
           "\" are not valid.  Either the type of one ore more parameters entered are not "
           "correct, or the number of parameters entered is not correct.";
}

inline std::string propertyRefused(const std::string& name, const std::string& type) {
    return "The parameters entered for Property \"" + name +
           "\" are not valid.  Only one parameter can be accepted to set the Property and the "
           "type must be \"" +
           type + "\".";
}

// "type:text" of a value, or "<none>" for an empty one.
inline std::string describe(const std::shared_ptr<ReturnValue>& value) {
    return value ? value->getReturnType() + ":" + value->getValueAsString() : "<none>";
}

// A value property answering `value` as `type`, or no value for the empty text.
inline std::shared_ptr<ValueProperty> fixed(const std::string& name, const std::string& type,
                                            const std::string& value,
                                            std::shared_ptr<ChangeNotifier> changes = nullptr) {
    return std::make_shared<ValueProperty>(
        name, type, [type, value]() { return value.empty() ? nullptr : text(type, value); },
        std::move(changes));
}

struct World {
    World() {
        owner->Properties()->addProperty(ownerName);
        for (auto property : std::vector<std::shared_ptr<Property>>{
                 count, ownerProperty, items, cells, odd, fixed("Name", "string", "service"),
                 fixed("Nothing", "int", ""), fixed("Text", "string", "plain")}) {
            service->Properties()->addProperty(property);
        }
        for (auto method : std::vector<std::shared_ptr<Method>>{
                 getX, addOne, addTwo, std::make_shared<FakeMethod>("owner", 0, ownerValue),
                 std::make_shared<FakeMethod>("fail", 0, []() -> std::shared_ptr<ReturnValue> {
                     throw ServiceFault("service broke");
                 })}) {
            service->Methods()->addMethod(method);
        }
        (*reflectors)["Svc"] = service;
        (*reflectors)["Empty"] = nullptr;
    }
    // Connected functions hold their property, which holds its notifier: dropping them ends the
    // cycle.
    ~World() {
        notifier->disconnectAll();
        ownerNotifier->disconnectAll();
        items->changes.disconnectAll();
        cells->changes.disconnectAll();
    }
    // Functions connected to Count, Items and Cells.
    std::vector<std::size_t> connections() const {
        return {notifier->connectionCount(), items->changes.connectionCount(),
                cells->changes.connectionCount()};
    }

    std::shared_ptr<ChangeNotifier> notifier = std::make_shared<ChangeNotifier>();
    std::shared_ptr<ChangeNotifier> ownerNotifier = std::make_shared<ChangeNotifier>();
    std::shared_ptr<FakeReflector> service = std::make_shared<FakeReflector>("Svc");
    std::shared_ptr<FakeReflector> owner = std::make_shared<FakeReflector>("Owner");
    ValueMaker ownerValue = [reflector = owner]() -> std::shared_ptr<ReturnValue> {
        return std::make_shared<TextReturnValue>("object", "object", reflector);
    };
    // Each read answers the number of reads so far, so two reads give two values.
    std::shared_ptr<ValueProperty> count = std::make_shared<ValueProperty>(
        "Count", "int",
        [reads = std::make_shared<int>(0)] { return text("int", std::to_string(++*reads)); },
        notifier);
    std::shared_ptr<ValueProperty> ownerProperty =
        std::make_shared<ValueProperty>("Owner", "object", ownerValue, nullptr);
    std::shared_ptr<ValueProperty> ownerName = fixed("Name", "string", "owner", ownerNotifier);
    std::shared_ptr<BasicList> items =
        std::make_shared<BasicList>("list(int)", "Items", true, "1,2");
    std::shared_ptr<MutableList> cells =
        std::make_shared<MutableList>("list(object)", "Cells", false, "cells");
    std::shared_ptr<FakeProperty> odd = std::make_shared<FakeProperty>("Odd", true);
    std::shared_ptr<FakeMethod> getX =
        std::make_shared<FakeMethod>("getX", 0, [] { return text("string", "x"); });
    std::shared_ptr<FakeMethod> addOne =
        std::make_shared<FakeMethod>("add", 1, [] { return text("int", "one"); });
    std::shared_ptr<FakeMethod> addTwo =
        std::make_shared<FakeMethod>("add", 2, [] { return text("int", "two"); });
    std::shared_ptr<ReflectorMap> reflectors = std::make_shared<ReflectorMap>();
    Interpreter interpreter{reflectors};
};

}  // namespace interpreter_test

#endif  // SF_TESTS_INTERPRETER_INTERPRETERFAKES_H
