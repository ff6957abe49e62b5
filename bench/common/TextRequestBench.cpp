#include "common/TextRequestBench.h"

#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/TypeMap.h>

#include <typeinfo>

namespace sfbench {

void registerCalculator(const std::shared_ptr<ZAMUnified::UnifiedFactory>& factory,
                        unsigned int id) {
    using namespace ZAMUnified;
    ReflectorFactory::AddReflectorFactoryMethod(
        "Calculator", [](std::shared_ptr<UnifiedBusinessObject> object) {
            auto service = std::dynamic_pointer_cast<CalculatorService>(object);
            auto reflector =
                std::make_shared<ObjectReflector<CalculatorService>>("Calculator", service);
            reflector->method("add", &CalculatorService::add, {"a", "b"});
            return std::shared_ptr<Reflector>(reflector);
        });
    factory->getServiceRegistry()->addItem(typeid(CalculatorService).name(), id,
                                           std::make_shared<CalculatorService>(factory));
}

void TextRequestOurs(benchmark::State& state) {
    using namespace ZAMUnified;
    auto factory = std::make_shared<UnifiedFactory>();
    factory->Init();
    registerCalculator(factory, 1);
    {
        TextInterpreter text(factory);
        const std::string line = "CalculatorService/add(17, 25)";
        const TextResult first = text.run(line);
        if (first.text != "42") {
            state.SkipWithError(("the text layer answered " + first.text + first.error).c_str());
        } else {
            for (auto _ : state) {
                benchmark::DoNotOptimize(text.run(line));
            }
        }
    }
    // Breaks the cycle between the factory and the service it holds.
    factory->Reset();
}

}  // namespace sfbench
