// ZAMUnified::InterpreterResult<T>: the outcome of an Interpreter call: the value on success, or an
// empty value and one English error message on failure. Used with T = shared_ptr<ReturnValue>
// (execution), shared_ptr<UnifiedBusinessObject> (look-up by GUID) and
// weak_ptr<PropertyNotifierConnection> (subscriptions); handed out by shared pointer.
//
// Threading: immutable after construction; any thread may read it. Failure: this is the channel.
#ifndef ZAMUNIFIED_INTERPRETERRESULT_H
#define ZAMUNIFIED_INTERPRETERRESULT_H

#include <string>
#include <utility>

namespace ZAMUnified {

template <typename T>
class InterpreterResult {
  public:
    // A success; the value may still be empty (a step that returned nothing).
    InterpreterResult(T value) : result(std::move(value)), success(true) {}
    // A failure carrying `message`.
    InterpreterResult(T value, std::string message)
        : result(std::move(value)), success(false), errorMessage(std::move(message)) {}

    bool isSuccess() const { return success; }
    T getResult() const { return result; }
    // "" on success.
    const std::string& getErrorMessage() const { return errorMessage; }

  private:
    T result;
    bool success;
    std::string errorMessage;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_INTERPRETERRESULT_H
