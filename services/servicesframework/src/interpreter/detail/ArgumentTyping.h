// Typing a step's written arguments: each argument's type comes from the text, or else from the
// declared signature of the member the step addresses on the object it runs on (the property's
// type, or the one overload that fits the count and the given names); named arguments are put
// where that overload wants them. Then each becomes an ActualParameter through the formal-
// parameter conversions.
// Threading: reads reflectors and the object map; the dispatcher thread. Failure: throws
// TextRequestFailure with a message that names the argument and what is wrong with it.
#ifndef ZAMUNIFIED_INTERPRETER_DETAIL_ARGUMENTTYPING_H
#define ZAMUNIFIED_INTERPRETER_DETAIL_ARGUMENTTYPING_H

#include <memory>
#include <stdexcept>
#include <string>

#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/RequestSyntax.h>

namespace ZAMUnified {
namespace detail {

// A request refused by the text layer itself (not by the interpreter or service code).
class TextRequestFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// When the step names a method and gives fewer arguments than its one overload that could take
// them wants, a message naming the arguments it leaves out, such as
//   missing argument 'b' of add, which takes (int a, int b)
// and "" in every other case (a property, an overload that fits the count, or no clear one).
std::string missingArguments(const RequestSyntax::Step& step, const Reflector& reflector);

// Whether the step's arguments can be typed without looking at the object: all typed, none named.
bool typedByText(const RequestSyntax::Step& step);

// The arguments of `step`. `reflector` is the object's the step runs on; when it is null,
// `whyNoObject` says why there is none (used only when a type must come from the signature).
// A step at index 0 is the "UnifiedBusinessObject(<guid>)" start, whose arguments are strings.
std::shared_ptr<ParametersCollection> typeArguments(
    const RequestSyntax::Step& step, bool isStart, const Reflector* reflector,
    const std::string& whyNoObject, const std::shared_ptr<UnifiedBusinessObjectMap>& objects);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_INTERPRETER_DETAIL_ARGUMENTTYPING_H
