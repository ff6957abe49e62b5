// Request and Subscription paths from arbitrary text, with arguments attached to arbitrary names,
// run through an Interpreter over a small service. A request holds exactly the pieces between
// "/" separators (empty pieces included) and hands them out in order; executing or subscribing
// never crashes or throws for any path, a failure always carries a message, and a success has
// walked the whole path up to its end or to an empty piece.
#include <ZAMUnified/Request.h>

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ReflectionHelpers.h>
#include <ZAMUnified/Subscription.h>
#include <ZAMUnified/ToFormalParameterConversions.h>
#include <ZAMUnified/ValueTypes.h>
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <vector>

namespace {

using namespace ZAMUnified;
using ReflectionTypeConversion::ToFormalParameterConversions::GetFormalParameterFromStrings;

struct Counter {
    int getValue() const { return value; }
    void setValue(int newValue) { value = newValue; }
    std::string getName() const { return "counter"; }
    int add(int a, int b) { return a + b; }
    std::string describe() const { return "value " + std::to_string(value); }
    std::string describe(const std::string& prefix) const { return prefix + std::to_string(value); }
    std::shared_ptr<std::vector<std::string>> getTags() const { return tags; }

    int value = 0;
    std::shared_ptr<std::vector<std::string>> tags =
        std::make_shared<std::vector<std::string>>(std::vector<std::string>{"a", "b"});
};

struct Fixture {
    std::shared_ptr<ChangeNotifier> changes = std::make_shared<ChangeNotifier>();
    std::shared_ptr<ListChangeNotifier> tagChanges = std::make_shared<ListChangeNotifier>();
    std::shared_ptr<Interpreter> interpreter;

    Fixture() {
        auto counter = std::make_shared<Counter>();
        auto reflector = std::make_shared<ObjectReflector<Counter>>("Counter", counter);
        reflector->property("Value", &Counter::getValue, &Counter::setValue, changes)
            .property("Name", &Counter::getName)
            .method("add", &Counter::add, {"a", "b"})
            .method("describe", selectOverload<std::string() const>(&Counter::describe))
            .method("describe",
                    selectOverload<std::string(const std::string&) const>(&Counter::describe),
                    {"prefix"})
            .listProperty("Tags", &Counter::getTags, tagChanges);
        interpreter = std::make_shared<Interpreter>(
            std::make_shared<ReflectorMap>(ReflectorMap{{"Svc", reflector}}));
        interpreter->setUnifiedBusinessObjectMap(std::make_shared<UnifiedBusinessObjectMap>());
    }
};

// The pieces between "/" separators, read by getline as the reference. getline drops a last
// empty piece, so the text gets one more "/" than it has.
std::vector<std::string> pieces(const std::string& path) {
    std::vector<std::string> out;
    std::istringstream in(path.empty() ? path : path + "/");
    for (std::string piece; std::getline(in, piece, '/');) {
        out.push_back(piece);
    }
    return out;
}

template <typename R>
void attachArguments(FuzzedDataProvider& provider, R& request,
                     const std::vector<std::string>& names) {
    for (int left = provider.ConsumeIntegralInRange(0, 3); left > 0; --left) {
        const std::string name =
            !names.empty() && provider.ConsumeBool()
                ? names[provider.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)]
                : provider.ConsumeRandomLengthString(8);
        // A value type, or a list of one, from the framework's table.
        const ValueTypeTable types = valueTypes();
        const ValueType& valueType =
            types[provider.ConsumeIntegralInRange<std::size_t>(0, types.size() - 1)];
        const std::string type(provider.ConsumeBool() ? valueType.name : valueType.listName);
        request.addParameterToMethod(
            name, GetFormalParameterFromStrings(type, "v", provider.ConsumeRandomLengthString(12),
                                                nullptr, nullptr));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    FuzzedDataProvider provider(data, size);
    const bool subscribe = provider.ConsumeBool();
    const std::string path = provider.ConsumeRandomLengthString(96);
    const std::vector<std::string> expected = pieces(path);

    Request probe(path);
    const std::string last = expected.empty() ? std::string() : expected.back();
    SF_FUZZ_CHECK(probe.getExecutionPath() == path && probe.getMethodNames() == expected &&
                  probe.getLastMethod() == last);
    for (const std::string& name : expected) {
        SF_FUZZ_CHECK(probe.getNextMethod() == name);
    }
    SF_FUZZ_CHECK(probe.getNextMethod().empty() && probe.getMethodNames().empty() &&
                  probe.getLastMethod() == last);

    // Neither call lets an exception through: one that escapes is a finding.
    if (subscribe) {
        auto subscription = std::make_shared<Subscription>(path, "fuzz");
        subscription->setNonListPropertyCallback([](std::string, PropertyValueFetcher) {});
        if (provider.ConsumeBool()) {
            subscription->setBasicListPropertyCallback(
                [](std::string, PropertyValueFetcher, bool, int, int) {});
        }
        attachArguments(provider, *subscription, expected);
        auto result = fixture.interpreter->subscribe(subscription);
        SF_FUZZ_CHECK(result != nullptr);
        SF_FUZZ_CHECK(result->isSuccess() || !result->getErrorMessage().empty());
        fixture.changes->notify();
        fixture.changes->disconnectAll();
        fixture.tagChanges->disconnectAll();
    } else {
        auto request = std::make_shared<Request>(path);
        attachArguments(provider, *request, expected);
        auto result = fixture.interpreter->execute(request);
        SF_FUZZ_CHECK(result != nullptr);
        SF_FUZZ_CHECK(result->isSuccess() || !result->getErrorMessage().empty());
        // Success consumes the whole path, unless an empty piece ended the chain early.
        SF_FUZZ_CHECK(!result->isSuccess() || request->getMethodNames().empty() ||
                      std::find(expected.begin() + 1, expected.end(), std::string()) !=
                          expected.end());
    }
    return 0;
}
