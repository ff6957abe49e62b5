// zam::Runnable: the body of a thread, such as a thread pool's worker.
//
// Threading: run() executes on the thread it is the body of.
// Failure: whatever run() throws is the implementation's business.
#ifndef ZAM_RUNNABLE_H
#define ZAM_RUNNABLE_H

namespace zam {

class Runnable {
  public:
    virtual ~Runnable();
    virtual void run() = 0;
};

}  // namespace zam

#endif  // ZAM_RUNNABLE_H
