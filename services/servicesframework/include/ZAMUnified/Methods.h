// ZAMUnified::Methods: a reflector's methods by exact, case-sensitive name. A name may carry
// several overloads, kept in the order they were added; selection takes the first overload that
// accepts the arguments, with no ranking.
//
// Threading: no lock; filled while the reflector is built, then only read (reads may run
// concurrently). Failure: look-ups that find nothing give an empty pointer.
#ifndef ZAMUNIFIED_METHODS_H
#define ZAMUNIFIED_METHODS_H

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/Method.h>
#include <ZAMUnified/ParametersCollection.h>

namespace ZAMUnified {

class Methods {
  public:
    Methods();

    // Keyed by method->getMethodName(), after the overloads already there.
    void addMethod(std::shared_ptr<Method> method);
    // One entry per overload, in name order.
    std::vector<std::string> getMethodNames() const;
    // The first overload added under `name`.
    std::shared_ptr<Method> getMethod(const std::string& name) const;
    // Every overload added under `name`, in order of addition (empty for an unknown name), so
    // that tools can show and choose among them.
    std::vector<std::shared_ptr<Method>> getOverloads(const std::string& name) const;
    // The first overload, in order of addition, whose matchesParameters() accepts `parameters`
    // (passed on even when empty); empty when none does.
    std::shared_ptr<Method> getMethod(const std::string& name,
                                      std::shared_ptr<ParametersCollection> parameters) const;
    // Overloads counted one by one.
    std::size_t size() const;

  private:
    std::shared_ptr<std::multimap<std::string, std::shared_ptr<Method>>> methods;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_METHODS_H
