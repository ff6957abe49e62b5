// Arbitrary lines through the text layer. A line either fails the request syntax with a column
// inside the line, or parses into steps that, written back in canonical form (every value
// quoted), parse into the same steps again. Then the line runs through a TextInterpreter over a
// small service: it never throws, a failure always carries a message, and its JSON form is
// valid JSON whose "ok" agrees with the result.
#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/RequestSyntax.h>
#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/TextJson.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedService.h>

#include <ZAMLogger.h>
#include <nlohmann/json.hpp>

#include "FuzzCheck.h"

#include <algorithm>
#include <memory>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

namespace {

using namespace ZAMUnified;
namespace syntax = RequestSyntax;

class Counter : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit Counter(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "Counter") {}
    std::string getInterfaceName() override { return "Counter"; }
    void initNotifiers() override {}

    int getValue() const { return value_; }
    void setValue(int value) { value_ = value; }
    int add(int a, int b) const { return a + b; }
    std::string twice(const std::string& text) const { return text + text; }
    long twice(long number) const { return 2 * number; }
    std::shared_ptr<std::vector<float>> getRatios() const { return ratios_; }
    void setRatios(std::shared_ptr<std::vector<float>> ratios) { ratios_ = std::move(ratios); }
    zam::SecureString getSecret() const { return secret_; }
    void setSecret(const zam::SecureString& secret) { secret_ = secret; }
    // A chain of any length: the counter's value is an object, itself.
    std::shared_ptr<Counter> getSelf() const { return self_.lock(); }
    void adopt(const std::shared_ptr<Counter>& self) { self_ = self; }

  private:
    std::weak_ptr<Counter> self_;
    int value_ = 0;
    std::shared_ptr<std::vector<float>> ratios_ = std::make_shared<std::vector<float>>(2, 0.5f);
    zam::SecureString secret_;
};

std::shared_ptr<Reflector> reflectCounter(std::shared_ptr<UnifiedBusinessObject> object) {
    auto counter = std::dynamic_pointer_cast<Counter>(object);
    if (!counter) {
        return nullptr;
    }
    auto reflector = std::make_shared<ObjectReflector<Counter>>("Counter", counter);
    reflector->property("Value", &Counter::getValue, &Counter::setValue)
        .property("Secret", &Counter::getSecret, &Counter::setSecret)
        .property("Self", &Counter::getSelf)
        .listProperty("Ratios", &Counter::getRatios, &Counter::setRatios, nullptr)
        .method("add", &Counter::add, {"a", "b"})
        .method("twice", selectOverload<std::string(const std::string&) const>(&Counter::twice),
                {"value"})
        .method("twice", selectOverload<long(long) const>(&Counter::twice), {"value"});
    return reflector;
}

// Made once and never destroyed, so that no exit-time teardown of the factory can report a leak.
TextInterpreter& makeInterpreter() {
    // Lines that name the built-in libraries try to load them; their records say nothing the
    // fuzzer needs.
    ZAMLog_setSink([](const ZAMLogRecord&) {});
    auto factory = std::make_shared<UnifiedFactory>();
    factory->Init();
    ReflectorFactory::AddReflectorFactoryMethod("Counter", reflectCounter);
    auto counter = std::make_shared<Counter>(factory);
    counter->adopt(counter);
    factory->getServiceRegistry()->addItem(typeid(Counter).name(), 77, counter);
    return *new TextInterpreter(factory);
}

std::string canonical(const std::vector<syntax::Step>& steps) {
    std::string text;
    for (const syntax::Step& step : steps) {
        // Every step writes at least its name, so only the first starts an empty text.
        text += std::string(text.empty() ? "" : "/") + (step.guidStart ? "@" : "") + step.name;
        if (step.hasArgumentList) {
            const char* separator = "(";
            for (const syntax::Argument& argument : step.arguments) {
                text += std::exchange(separator, ", ") +
                        (argument.type.empty() ? "" : argument.type + " ") +
                        (argument.name.empty() ? "" : argument.name + "=") +
                        syntax::quote(argument.value);
            }
            text += step.arguments.empty() ? "()" : ")";
        }
    }
    return text;
}

bool same(const std::vector<syntax::Step>& a, const std::vector<syntax::Step>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return std::tie(x.name, x.guidStart, x.hasArgumentList, x.arguments) ==
               std::tie(y.name, y.guidStart, y.hasArgumentList, y.arguments);
    });
}

void checkSyntax(const std::string& line) {
    std::vector<syntax::Step> steps;
    try {
        steps = syntax::parsePath(line);
    } catch (const syntax::SyntaxError& error) {
        SF_FUZZ_CHECK(error.column() >= 1 && error.column() <= line.size() + 1);
        return;
    }
    SF_FUZZ_CHECK(!steps.empty() && std::all_of(steps.begin(), steps.end(), [](const auto& step) {
        return !step.name.empty() && step.name.find('/') == std::string::npos &&
               (step.arguments.empty() || step.hasArgumentList);
    }));
    // The canonical form of a parsed line must parse: a SyntaxError that escapes is a finding.
    SF_FUZZ_CHECK(same(steps, syntax::parsePath(canonical(steps))));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TextInterpreter& text = makeInterpreter();
    const std::string line(reinterpret_cast<const char*>(data), size);
    checkSyntax(line);

    const TextResult result = text.run(line);
    SF_FUZZ_CHECK(result.ok || (!result.error.empty() && !result.returnValue));
    // A secret never shows unless revealing was asked for.
    SF_FUZZ_CHECK(result.value.kind != TextValue::Kind::Secret || result.value.masked);
    const std::string json = TextJson::result("request", line, result);
    SF_FUZZ_CHECK(json.find('\n') == std::string::npos);
    // Invalid JSON, or no boolean "ok", throws out of here and is a finding.
    SF_FUZZ_CHECK(nlohmann::json::parse(json).at("ok").get<bool>() == result.ok);
    return 0;
}
