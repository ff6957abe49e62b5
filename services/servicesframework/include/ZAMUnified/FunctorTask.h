// ZAMUnified::FunctorTask<R, C>: a task that calls a member function of a shared object with one
// argument, keeping the object alive until the task is destroyed. The loader uses it to run a
// library load on the dispatcher thread.
//
// Threading: as any zam::Task; the name is immutable.
// Failure: an exception thrown by the member function leaves execute() unchanged.
#ifndef ZAMUNIFIED_FUNCTORTASK_H
#define ZAMUNIFIED_FUNCTORTASK_H

#include <memory>
#include <string>
#include <utility>

#include <zam/Task.h>

namespace ZAMUnified {

template <typename R, typename C>
class FunctorTask : public zam::Task {
  public:
    typedef void (C::*Method)(R);

    FunctorTask(std::shared_ptr<C> object, Method method, R argument, const std::string& name)
        : object_(std::move(object)),
          method_(method),
          argument_(std::move(argument)),
          name_(name) {}

    // Calls the method with a copy of the argument, so the task can be executed without being
    // changed by it. A task built without an object or a method does nothing.
    void execute() override {
        if (object_ && method_) {
            ((*object_).*method_)(argument_);
        }
    }

    std::string name() const override { return name_; }

  private:
    std::shared_ptr<C> object_;
    Method method_;
    R argument_;
    std::string name_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_FUNCTORTASK_H
