// ZAMUnified::ReflectionCallbackFactory: reflection callback objects by callback name, made by
// functions that service libraries register; the function receives the name it was asked for.
// Threading: the registry has no lock; registration belongs to set-up (injection, host start)
// and must be finished before look-ups run on other threads.
// Failure: an unknown name gives an empty pointer; an empty function throws bad_function_call.
#ifndef ZAMUNIFIED_REFLECTIONCALLBACKFACTORY_H
#define ZAMUNIFIED_REFLECTIONCALLBACKFACTORY_H

#include <functional>
#include <memory>
#include <string>

#include <ZAMUnified/ReflectionCallback.h>

namespace ZAMUnified {

using ReflectionCallbackFactoryMethod =
    std::function<std::shared_ptr<ReflectionCallback>(std::string)>;

// Static operations only. A registration replaces any earlier one under the same name.
class ReflectionCallbackFactory {
  public:
    ReflectionCallbackFactory() = delete;

    static void AddCallbackFactoryMethodForCallback(std::string callbackName,
                                                    ReflectionCallbackFactoryMethod method);
    static std::shared_ptr<ReflectionCallback> GetReflectionCallback(std::string callbackName);
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_REFLECTIONCALLBACKFACTORY_H
