// zam::Task: the unit of work of every queue, dispatcher and pool, handed around as TaskPtr.
//
// Threading: a task runs on one thread, usually not the one that created it. name() and the
// submission time may be read from any thread.
// Failure: execute() reports nothing itself; an exception thrown by the work leaves execute()
// unchanged.
#ifndef ZAM_TASK_H
#define ZAM_TASK_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace zam {

class Task {
  public:
    Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    // Runs the work; a consumer calls it exactly once.
    virtual void execute() = 0;
    virtual ~Task();
    // For logs and for the dispatcher's list of tasks not to be logged. By default the demangled
    // name of the object's dynamic type, namespaces included.
    virtual std::string name() const;

    // Stamps the submission time with the system clock's current time; queues call it when they
    // accept the task, so a task submitted again is stamped again.
    void markSubmitted();
    // The system clock's epoch until the task is first submitted.
    std::chrono::system_clock::time_point getSubmissionTime() const;

  private:
    // Nanoseconds since the system clock's epoch. Atomic, because the queue stamps it under its
    // own lock while a dispatcher on another thread may read it under none.
    std::atomic<std::int64_t> submissionTimeNs_{0};
};

}  // namespace zam

typedef std::shared_ptr<zam::Task> TaskPtr;

#endif  // ZAM_TASK_H
