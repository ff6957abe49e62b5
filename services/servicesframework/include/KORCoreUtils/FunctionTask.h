// KORCoreUtils::FunctionTask: a task that runs a function object under a given name. Every
// enqueue overload that takes a function and a name wraps them in one.
//
// Threading: as any zam::Task; the name is immutable.
// Failure: an exception thrown by the function leaves execute() unchanged.
#ifndef KORCOREUTILS_FUNCTIONTASK_H
#define KORCOREUTILS_FUNCTIONTASK_H

#include <functional>
#include <string>

#include <zam/Task.h>

namespace KORCoreUtils {

class FunctionTask : public zam::Task {
  public:
    // The name may be empty. An empty function makes execute() do nothing.
    FunctionTask(std::function<void()> function, const std::string& name);

    void execute() override;
    std::string name() const override;

  private:
    std::function<void()> function_;
    std::string name_;
};

}  // namespace KORCoreUtils

#endif  // KORCOREUTILS_FUNCTIONTASK_H
