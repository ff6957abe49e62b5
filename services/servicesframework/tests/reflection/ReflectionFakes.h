// Test doubles for the reflection layer: members, values, objects and callbacks whose answers the
// tests set.
#ifndef SF_TESTS_REFLECTION_REFLECTIONFAKES_H
#define SF_TESTS_REFLECTION_REFLECTIONFAKES_H

#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/MutableListProperty.h>
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

class FakeMethod : public Method {
  public:
    FakeMethod(const std::string& name, bool accepts)
        : Method("void", "", name), accepts_(accepts) {}
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        seen = std::move(parameters);
        ++matchCalls;
        return accepts_;
    }
    std::shared_ptr<ReturnValue> invoke(std::shared_ptr<ParametersCollection>) override {
        return std::make_shared<VoidReturnValue>();
    }

    std::shared_ptr<ParametersCollection> seen;
    int matchCalls = 0;

  private:
    bool accepts_;
};

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

using ValueMaker = std::function<std::shared_ptr<ReturnValue>()>;

class FakeConnection : public PropertyNotifierConnection {
  public:
    void disconnect() override { connected = false; }
    bool connected = true;
};

class FakeNotifier : public PropertyNotifier {
  public:
    std::weak_ptr<PropertyNotifierConnection> connect(std::function<void()> callback) override {
        callbacks.push_back(std::move(callback));
        connections.push_back(std::make_shared<FakeConnection>());
        return connections.back();
    }
    void notify() {
        for (auto& callback : callbacks) {
            callback();
        }
    }
    // Connected functions hold their property, which holds this notifier: dropping them ends
    // the cycle.
    void clear() {
        callbacks.clear();
        connections.clear();
    }
    std::vector<std::function<void()>> callbacks;
    std::vector<std::shared_ptr<FakeConnection>> connections;
};

// Accepts exactly one argument of its own type name.
inline bool oneOfType(const std::shared_ptr<ParametersCollection>& parameters,
                      const std::string& type) {
    return parameters && parameters->size() == 1 && parameters->at(0)->getParameterType() == type;
}

class ValueProperty : public NonListProperty {
  public:
    ValueProperty(const std::string& name, const std::string& type, ValueMaker maker,
                  std::shared_ptr<FakeNotifier> notifier)
        : NonListProperty(type, name, false, true, std::move(notifier)), make(std::move(maker)) {}
    std::shared_ptr<ReturnValue> getValue() override {
        ++reads;
        return make();
    }
    bool matchesParameters(std::shared_ptr<ParametersCollection> parameters) override {
        return oneOfType(parameters, type);
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

class FakeCallback : public UnifiedCallback {
  public:
    explicit FakeCallback(std::string interfaceName) : interfaceName_(std::move(interfaceName)) {}
    std::string getInterfaceName() override { return interfaceName_; }

  private:
    std::string interfaceName_;
};

class NamedCallback : public ReflectionCallback {
  public:
    explicit NamedCallback(std::string name) : name_(std::move(name)) {}
    std::string getInterfaceName() override { return name_; }

  private:
    std::string name_;
};

}  // namespace reflection_test

#endif  // SF_TESTS_REFLECTION_REFLECTIONFAKES_H
