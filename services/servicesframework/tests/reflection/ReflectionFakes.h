// Test doubles for the reflection layer: members, values, objects and callbacks whose answers the
// tests set. Notifications go through the framework's own ChangeNotifier.
#ifndef SF_TESTS_REFLECTION_REFLECTIONFAKES_H
#define SF_TESTS_REFLECTION_REFLECTIONFAKES_H

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ChangeNotifier.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/Property.h>
#include <ZAMUnified/ReflectionCallback.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedCallback.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace reflection_test {

using namespace ZAMUnified;
using ValueMaker = std::function<std::shared_ptr<ReturnValue>()>;

inline std::shared_ptr<ParametersCollection> collectionOf(
    const std::vector<std::shared_ptr<FormalParameter>>& parameters) {
    auto collection = std::make_shared<ParametersCollection>();
    for (const auto& parameter : parameters) {
        collection->push_back(parameter);
    }
    return collection;
}

// Accepts exactly `arity` arguments of any type (no collection counts as none); a call answers
// what `maker` makes, or void.
class FakeMethod : public Method {
  public:
    FakeMethod(const std::string& name, int arity, ValueMaker maker = nullptr)
        : Method("object", "", name), arity_(arity), make(std::move(maker)) {}
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        ++matchCalls;
        seen = std::move(parameters);
        return (seen ? seen->size() : 0) == arity_;
    }
    std::shared_ptr<ReturnValue> invoke(std::shared_ptr<ParametersCollection> parameters) override {
        received = std::move(parameters);
        ++calls;
        return make ? make() : std::make_shared<VoidReturnValue>();
    }
    std::shared_ptr<ParametersCollection> seen, received;
    int matchCalls = 0, calls = 0;

  private:
    int arity_;
    ValueMaker make;
};

// A property of none of the three kinds.
class FakeProperty : public Property {
  public:
    FakeProperty(const std::string& name, bool accepts)
        : Property("int", name, true, true), accepts_(accepts) {}
    std::shared_ptr<ReturnValue> getValue() override { return nullptr; }
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        seen = std::move(parameters);
        return accepts_;
    }
    std::shared_ptr<VoidReturnValue> setValue(std::shared_ptr<ParametersCollection>) override {
        return std::make_shared<VoidReturnValue>();
    }
    std::shared_ptr<ParametersCollection> seen;

  private:
    bool accepts_;
};

// Accepts exactly one argument of its own type name.
class ValueProperty : public NonListProperty {
  public:
    ValueProperty(const std::string& name, const std::string& type, ValueMaker maker,
                  std::shared_ptr<PropertyNotifier> notifier)
        : NonListProperty(type, name, false, true, std::move(notifier)), make(std::move(maker)) {}
    std::shared_ptr<ReturnValue> getValue() override {
        ++reads;
        return make();
    }
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        return parameters && parameters->size() == 1 &&
               parameters->at(0)->getParameterType() == type;
    }
    std::shared_ptr<VoidReturnValue> setValue(
        std::shared_ptr<ParametersCollection> parameters) override {
        written = std::move(parameters);
        return std::make_shared<VoidReturnValue>();
    }
    ValueMaker make;
    int reads = 0;
    std::shared_ptr<ParametersCollection> written;
};

// A reflector that answers a ready parameter of its own.
class FakeReflector : public Reflector {
  public:
    explicit FakeReflector(std::string name = "Fake",
                           std::shared_ptr<FormalParameter> parameter = nullptr)
        : name_(std::move(name)), parameter_(std::move(parameter)) {}
    std::string getInterfaceName() override { return name_; }
    std::shared_ptr<FormalParameter> getActualParameter() override { return parameter_; }

  private:
    std::string name_;
    std::shared_ptr<FormalParameter> parameter_;
};

// A result that is none of the typed scalars, with a text of the test's choosing; with a
// reflector it stands for a business object.
class TextReturnValue : public NonListReturnValue {
  public:
    TextReturnValue(const std::string& type, std::string text,
                    std::shared_ptr<Reflector> reflector = nullptr)
        : NonListReturnValue(type), text_(std::move(text)), reflector_(std::move(reflector)) {}
    std::string getReturnType() override { return returnType; }
    std::string getValueAsString() override { return text_; }
    std::shared_ptr<Reflector> getReflector() override { return reflector_; }

  private:
    std::string text_;
    std::shared_ptr<Reflector> reflector_;
};

// A typed scalar result whose own text is a decoy, so tests see which path produced the text.
template <typename T>
class FakeTypedReturnValue : public TypedReturnValue<T> {
  public:
    FakeTypedReturnValue(const std::string& type, T value)
        : TypedReturnValue<T>(type, std::move(value)) {}
    std::string getReturnType() override { return this->returnType; }
    std::string getValueAsString() override { return "own text"; }
    std::shared_ptr<Reflector> getReflector() override { return nullptr; }
};

class FakeObject : public virtual UnifiedBusinessObject {
  public:
    FakeObject(std::string guid, std::string interfaceName)
        : guid_(std::move(guid)), interfaceName_(std::move(interfaceName)) {}
    void addObserver(std::weak_ptr<UnifiedBusinessObjectObserver>) override {}
    void removeObserver(std::weak_ptr<UnifiedBusinessObjectObserver>) override {}
    std::shared_ptr<UnifiedBusinessObjectNotifiers> getUnifiedBusinessObjectNotifiers() override {
        return nullptr;
    }
    std::string getGuid() override { return guid_; }
    std::string toString() override { return interfaceName_; }
    std::string getInterfaceName() override {
        return interfaceName_.empty() ? UnifiedBusinessObject::getInterfaceName() : interfaceName_;
    }

  private:
    std::string guid_;
    std::string interfaceName_;  // empty: keep the default
};

// A callback of either kind under a name of the test's choosing.
template <typename Base>
class Named : public Base {
  public:
    explicit Named(std::string name) : name_(std::move(name)) {}
    std::string getInterfaceName() override { return name_; }

  private:
    std::string name_;
};
using FakeCallback = Named<UnifiedCallback>;
using NamedCallback = Named<ReflectionCallback>;

}  // namespace reflection_test

#endif  // SF_TESTS_REFLECTION_REFLECTIONFAKES_H
