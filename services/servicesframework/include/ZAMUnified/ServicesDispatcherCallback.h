// ZAMUnified::ServicesDispatcherCallback: implemented by the host to be told that a task has been
// queued on the services dispatcher, instead of waiting in waitForDispatcherTask().
//
// Threading: onTaskEnqueued() is called on the enqueuing thread, which may be any thread, with no
// dispatcher lock held.
// Failure: the dispatcher relies only on the call returning; what it does is the host's business.
#ifndef ZAMUNIFIED_SERVICESDISPATCHERCALLBACK_H
#define ZAMUNIFIED_SERVICESDISPATCHERCALLBACK_H

namespace ZAMUnified {

class ServicesDispatcherCallback {
  public:
    virtual ~ServicesDispatcherCallback();
    // Called after each enqueue, once the task is in the queue. Typically wakes the host's own
    // loop so that it pumps the dispatcher on the dispatcher thread.
    virtual void onTaskEnqueued() = 0;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICESDISPATCHERCALLBACK_H
