// The text layer's cost for one line, shared by the programs that compare against it:
// "CalculatorService/add(17, 25)" parsed, its untyped arguments typed from the method's
// signature, run and presented as a typed result.
#ifndef SFBENCH_TEXTREQUESTBENCH_H
#define SFBENCH_TEXTREQUESTBENCH_H

#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace sfbench {

// A service with one method, registered (with its reflector) in `factory` under id `id`.
class CalculatorService : public ZAMUnified::UnifiedService,
                          public ZAMUnified::UnifiedBusinessObjectImpl {
  public:
    explicit CalculatorService(std::shared_ptr<ZAMUnified::UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "Calculator") {}
    std::string getInterfaceName() override { return "Calculator"; }
    void initNotifiers() override {}
    int add(int a, int b) const { return a + b; }
};
void registerCalculator(const std::shared_ptr<ZAMUnified::UnifiedFactory>& factory,
                        unsigned int id);

// TextRequest/ours.
void TextRequestOurs(benchmark::State& state);

}  // namespace sfbench

#endif  // SFBENCH_TEXTREQUESTBENCH_H
