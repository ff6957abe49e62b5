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

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
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

struct Fixture {
    std::shared_ptr<UnifiedFactory> factory = std::make_shared<UnifiedFactory>();
    std::unique_ptr<TextInterpreter> text;

    Fixture() {
        // Lines that name the built-in libraries try to load them; their records say nothing
        // the fuzzer needs.
        ZAMLog_setSink([](const ZAMLogRecord&) {});
        factory->Init();
        ReflectorFactory::AddReflectorFactoryMethod("Counter", reflectCounter);
        auto counter = std::make_shared<Counter>(factory);
        counter->adopt(counter);
        factory->getServiceRegistry()->addItem(typeid(Counter).name(), 77, counter);
        text = std::make_unique<TextInterpreter>(factory);
    }
};

std::string canonical(const std::vector<syntax::Step>& steps) {
    std::string text;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const syntax::Step& step = steps[i];
        text += (i == 0 ? "" : "/") + std::string(step.guidStart ? "@" : "") + step.name;
        if (!step.hasArgumentList) {
            continue;
        }
        text += "(";
        for (std::size_t k = 0; k < step.arguments.size(); ++k) {
            const syntax::Argument& argument = step.arguments[k];
            text += k == 0 ? "" : ", ";
            text += argument.type.empty() ? "" : argument.type + " ";
            text += argument.name.empty() ? "" : argument.name + "=";
            text += syntax::quote(argument.value);
        }
        text += ")";
    }
    return text;
}

bool same(const std::vector<syntax::Step>& a, const std::vector<syntax::Step>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].guidStart != b[i].guidStart ||
            a[i].hasArgumentList != b[i].hasArgumentList || !(a[i].arguments == b[i].arguments)) {
            return false;
        }
    }
    return true;
}

void checkSyntax(const std::string& line) {
    std::vector<syntax::Step> steps;
    try {
        steps = syntax::parsePath(line);
    } catch (const syntax::SyntaxError& error) {
        SF_FUZZ_CHECK(error.column() >= 1 && error.column() <= line.size() + 1);
        return;
    }
    SF_FUZZ_CHECK(!steps.empty());
    for (const syntax::Step& step : steps) {
        SF_FUZZ_CHECK(!step.name.empty());
        SF_FUZZ_CHECK(step.name.find('/') == std::string::npos);
        SF_FUZZ_CHECK(step.arguments.empty() || step.hasArgumentList);
    }
    const std::string written = canonical(steps);
    std::vector<syntax::Step> again;
    try {
        again = syntax::parsePath(written);
    } catch (const syntax::SyntaxError&) {
        SF_FUZZ_CHECK(!"the canonical form of a parsed line must parse");
    }
    SF_FUZZ_CHECK(same(steps, again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    const std::string line(reinterpret_cast<const char*>(data), size);
    checkSyntax(line);

    const TextResult result = fixture.text->run(line);
    SF_FUZZ_CHECK(result.ok || !result.error.empty());
    SF_FUZZ_CHECK(result.ok || !result.returnValue);
    // A secret never shows unless revealing was asked for.
    SF_FUZZ_CHECK(result.value.kind != TextValue::Kind::Secret || result.value.masked);
    const std::string json = TextJson::result("request", line, result);
    SF_FUZZ_CHECK(json.find('\n') == std::string::npos);
    nlohmann::json parsed;
    try {
        parsed = nlohmann::json::parse(json);
    } catch (const nlohmann::json::exception&) {
        SF_FUZZ_CHECK(!"the JSON form of a result must be valid JSON");
    }
    SF_FUZZ_CHECK(parsed.at("ok").get<bool>() == result.ok);
    return 0;
}
