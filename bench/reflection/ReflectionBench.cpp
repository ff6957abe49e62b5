// Reflected calls, ours side by side with RTTR doing the same work on the same object:
//   InvokeFromText/<variant>  add(int, int) called by name with both arguments given as text and
//                             the result wanted as text: ours builds the two parameters from
//                             strings, a Request, runs Interpreter::execute and turns the result
//                             into text; RTTR converts the texts, invokes by name and converts
//                             the result to a string
//   InvokeByName/<variant>    the same call with the arguments already built: ours a prepared
//                             ParametersCollection and a fresh Request (a request runs once);
//                             RTTR invokes by name, looking the type up by name each time
//   TextRequest/ours          the line "CalculatorService/add(17, 25)" through the text layer:
//                             parsed, its untyped arguments typed from the method's signature,
//                             run and presented as a typed result; against InvokeFromText/rttr
// Both sides find the object's type by its name on every call, as a text front end does.
#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/ReflectionHelpers.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/Request.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/ToFormalParameterConversions.h>

#include <benchmark/benchmark.h>

#include "common/TextRequestBench.h"

#ifdef SF_BENCH_WITH_RTTR
#include <rttr/registration>
#include <rttr/type>
#endif

#include <memory>
#include <string>
#include <typeinfo>

namespace sfbench {

// The reflected object: one method, registered with both reflection systems.
class Calculator {
  public:
    int add(int a, int b) const { return a + b; }
};

}  // namespace sfbench

#ifdef SF_BENCH_WITH_RTTR
RTTR_REGISTRATION {
    rttr::registration::class_<sfbench::Calculator>("Calculator")
        .method("add", &sfbench::Calculator::add);
}
#endif

namespace {

using sfbench::Calculator;
using sfbench::TextRequestOurs;

// The texts a front end would have parsed from "Calculator/add(17, 25)".
const std::string kTypeName = "int";
const std::string kFirstName = "a";
const std::string kSecondName = "b";
const std::string kFirstText = "17";
const std::string kSecondText = "25";
const std::string kPath = "Calculator/add";
const std::string kMethod = "add";
constexpr int kFirst = 17;
constexpr int kSecond = 25;
const std::string kExpected = "42";

std::shared_ptr<ZAMUnified::Interpreter> calculatorInterpreter() {
    using namespace ZAMUnified;
    auto reflector =
        std::make_shared<ObjectReflector<Calculator>>("Calculator", std::make_shared<Calculator>());
    reflector->method("add", &Calculator::add, {"a", "b"});
    auto reflectors = std::make_shared<ReflectorMap>();
    (*reflectors)["Calculator"] = reflector;
    return std::make_shared<Interpreter>(reflectors);
}

std::string callFromTextOurs(const ZAMUnified::Interpreter& interpreter) {
    using ZAMUnified::ReflectionTypeConversion::ReturnTypeToStringConversions::
        GetReturnValueAsString;
    using ZAMUnified::ReflectionTypeConversion::ToFormalParameterConversions::
        GetFormalParameterFromStrings;
    auto request = std::make_shared<ZAMUnified::Request>(kPath);
    request->addParameterToMethod(
        kMethod,
        GetFormalParameterFromStrings(kTypeName, kFirstName, kFirstText, nullptr, nullptr));
    request->addParameterToMethod(
        kMethod,
        GetFormalParameterFromStrings(kTypeName, kSecondName, kSecondText, nullptr, nullptr));
    const auto result = interpreter.execute(request);
    return result->isSuccess() ? GetReturnValueAsString(result->getResult())
                               : result->getErrorMessage();
}

// 0 when the call failed, which a correct run never gives for 17 + 25.
int callByNameOurs(const ZAMUnified::Interpreter& interpreter,
                   const std::shared_ptr<ZAMUnified::ParametersCollection>& arguments) {
    auto request = std::make_shared<ZAMUnified::Request>(kPath);
    request->addParameterCollectionToMethod(kMethod, arguments);
    const auto result = interpreter.execute(request);
    const auto value =
        std::dynamic_pointer_cast<ZAMUnified::TypedReturnValue<int>>(result->getResult());
    return value ? value->getReturnValue() : 0;
}

void InvokeFromTextOurs(benchmark::State& state) {
    const auto interpreter = calculatorInterpreter();
    const std::string first = callFromTextOurs(*interpreter);
    if (first != kExpected) {
        state.SkipWithError(("the interpreter answered " + first).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(callFromTextOurs(*interpreter));
    }
}

void InvokeByNameOurs(benchmark::State& state) {
    using namespace ZAMUnified;
    const auto interpreter = calculatorInterpreter();
    auto arguments = std::make_shared<ParametersCollection>();
    arguments->push_back(std::make_shared<ActualParameter<int>>(kTypeName, kFirstName, kFirst));
    arguments->push_back(std::make_shared<ActualParameter<int>>(kTypeName, kSecondName, kSecond));
    if (callByNameOurs(*interpreter, arguments) != kFirst + kSecond) {
        state.SkipWithError("the interpreter did not answer 42");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(callByNameOurs(*interpreter, arguments));
    }
}

#ifdef SF_BENCH_WITH_RTTR
std::string callFromTextRttr(Calculator& calculator) {
    bool firstOk = false;
    bool secondOk = false;
    const int first = rttr::variant(kFirstText).to_int(&firstOk);
    const int second = rttr::variant(kSecondText).to_int(&secondOk);
    if (!firstOk || !secondOk) {
        return std::string();
    }
    const rttr::variant result =
        rttr::type::get_by_name("Calculator").invoke(kMethod, calculator, {first, second});
    return result.to_string();
}

int callByNameRttr(Calculator& calculator, int first, int second) {
    const rttr::variant result =
        rttr::type::get_by_name("Calculator").invoke(kMethod, calculator, {first, second});
    return result.is_valid() ? result.get_value<int>() : 0;
}

void InvokeFromTextRttr(benchmark::State& state) {
    Calculator calculator;
    const std::string first = callFromTextRttr(calculator);
    if (first != kExpected) {
        state.SkipWithError(("RTTR answered " + first).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(callFromTextRttr(calculator));
    }
}

void InvokeByNameRttr(benchmark::State& state) {
    Calculator calculator;
    // Kept out of the compiler's sight, as ours are behind the collection.
    int first = kFirst;
    int second = kSecond;
    benchmark::DoNotOptimize(first);
    benchmark::DoNotOptimize(second);
    if (callByNameRttr(calculator, first, second) != kFirst + kSecond) {
        state.SkipWithError("RTTR did not answer 42");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(callByNameRttr(calculator, first, second));
    }
}
#endif

bool registerReflectionBenchmarks() {
    benchmark::RegisterBenchmark("InvokeFromText/ours", InvokeFromTextOurs);
#ifdef SF_BENCH_WITH_RTTR
    benchmark::RegisterBenchmark("InvokeFromText/rttr", InvokeFromTextRttr);
#endif
    benchmark::RegisterBenchmark("TextRequest/ours", TextRequestOurs);
    benchmark::RegisterBenchmark("InvokeByName/ours", InvokeByNameOurs);
#ifdef SF_BENCH_WITH_RTTR
    benchmark::RegisterBenchmark("InvokeByName/rttr", InvokeByNameRttr);
#endif
    return true;
}

const bool registered = registerReflectionBenchmarks();

}  // namespace
