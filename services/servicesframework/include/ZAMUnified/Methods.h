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
#include <string_view>
#include <vector>

#include <ZAMUnified/Method.h>
#include <ZAMUnified/ParametersCollection.h>

namespace ZAMUnified {

class Interpreter;

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
    // The interpreter selects through these, without a temporary name or pointer copies.
    friend class Interpreter;
    // The stored pointer to what getMethod(name, parameters) selects, or null; it lives as long
    // as this container.
    const std::shared_ptr<Method>* findOverload(
        std::string_view name, const std::shared_ptr<ParametersCollection>& parameters) const;
    // Whether getMethod(name) would find a method.
    bool contains(std::string_view name) const;

    // The byte-wise order of std::string, compared in place and for a view as well: method names
    // are short, and a library call costs more than comparing their few characters.
    struct NameOrder {
        using is_transparent = void;
        bool operator()(std::string_view left, std::string_view right) const {
            const std::size_t common = left.size() < right.size() ? left.size() : right.size();
            for (std::size_t i = 0; i < common; ++i) {
                if (left[i] != right[i]) {
                    return static_cast<unsigned char>(left[i]) <
                           static_cast<unsigned char>(right[i]);
                }
            }
            return left.size() < right.size();
        }
    };

    std::shared_ptr<std::multimap<std::string, std::shared_ptr<Method>, NameOrder>> methods;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_METHODS_H
