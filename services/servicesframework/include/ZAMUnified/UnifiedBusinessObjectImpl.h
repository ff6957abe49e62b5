// ZAMUnified::UnifiedBusinessObjectImpl: the framework's partial implementation of
// UnifiedBusinessObject that concrete objects derive from. It draws the GUID ("1", "2", ... in
// creation order, never reused in a process), keeps the observers by weak pointer, and guards
// state changes: once committed to the services dispatcher, an object changes only on the
// dispatcher thread.
//
// Threading: observers may be added, removed and notified from any thread; notifications run
// outside the observer lock. State changes follow EnsureUpdateAccess.
// Failure: EnsureUpdateAccess (and a committed construction) off the dispatcher thread throws
// DispatcherAccessExceptionImpl with an empty name.
#ifndef ZAMUNIFIED_UNIFIEDBUSINESSOBJECTIMPL_H
#define ZAMUNIFIED_UNIFIEDBUSINESSOBJECTIMPL_H

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <ZAMUnified/UnifiedBusinessObject.h>
#include <zam/Mutex.h>
#include <zam/ScopedLock.h>

namespace ZAMUnified {

class UnifiedFactory;

template <typename T>
struct ObserverPtrVtr {
    typedef std::vector<std::shared_ptr<T>> Type;
};

// Returns the live observers of type T and prunes the expired ones from `observers`. An expired
// entry's place is taken by the last live candidate, so the order of the remaining observers may
// change; observers of other types stay in the list but are not returned.
template <typename T>
typename ObserverPtrVtr<T>::Type filterObservers(
    std::vector<std::weak_ptr<UnifiedBusinessObjectObserver>>& observers) {
    typename ObserverPtrVtr<T>::Type result;
    std::size_t live = observers.size();
    std::size_t i = 0;
    while (i < live) {
        std::shared_ptr<UnifiedBusinessObjectObserver> observer = observers[i].lock();
        if (!observer) {
            --live;
            std::swap(observers[i], observers[live]);
            continue;
        }
        if (std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(observer)) {
            result.push_back(std::move(typed));
        }
        ++i;
    }
    observers.resize(live);
    return result;
}

class UnifiedBusinessObjectImpl : public virtual UnifiedBusinessObject {
  public:
    // Throws DispatcherAccessExceptionImpl off the dispatcher thread unless `uncommitted` is set;
    // no GUID is drawn then. An uncommitted object may be filled on any thread until
    // commitToServicesDispatcher(). A null factory means there is no dispatcher to guard
    // against: updates are then never refused.
    UnifiedBusinessObjectImpl(std::shared_ptr<UnifiedFactory> factory, bool uncommitted,
                              const std::string& name);
    UnifiedBusinessObjectImpl(std::shared_ptr<UnifiedFactory> factory, const std::string& name);
    ~UnifiedBusinessObjectImpl() override;

    UnifiedBusinessObjectImpl(const UnifiedBusinessObjectImpl&) = delete;
    UnifiedBusinessObjectImpl& operator=(const UnifiedBusinessObjectImpl&) = delete;

    // The next GUID of the process as decimal text: "1" for the first object, then "2", ...
    static std::string generateGuid();

    void addObserver(std::weak_ptr<UnifiedBusinessObjectObserver> observer) override;
    // Removes the first registration of the same object; later duplicates stay. An expired
    // observer removes nothing.
    void removeObserver(std::weak_ptr<UnifiedBusinessObjectObserver> observer) override;
    // Calls initNotifiers(), then hands out the notifiers as the interface; empty when there
    // are none.
    std::shared_ptr<UnifiedBusinessObjectNotifiers> getUnifiedBusinessObjectNotifiers() override;
    std::string getGuid() override;
    // The concrete object's getInterfaceName().
    std::string toString() override;

    // Supplied by the concrete object: fills `notifiers_`. Called each time they are requested.
    virtual void initNotifiers() = 0;
    // From now on, state changes are guarded; there is no way back.
    virtual void commitToServicesDispatcher();

    // The guard before each state change: with `check` set on a committed object, refuses every
    // thread but the dispatcher thread.
    void EnsureUpdateAccess(bool check) const;

    // Tells the live observers, in list order after pruning, outside the observer lock, so an
    // observer may add or remove observers from within OnInfoChanged().
    void fireOnInfoChanged();

    // The live observers of type T; prunes expired ones.
    template <typename T>
    typename ObserverPtrVtr<T>::Type getFilteredObservers() {
        zam::ScopedLock lock(observerMutex_);
        return filterObservers<T>(observers_);
    }

  protected:
    std::string guid_;
    // Read by the guard on any thread, cleared once on commit.
    std::atomic<bool> uncommitted_;
    std::string name_;
    std::shared_ptr<UnifiedFactory> factory_;
    // Filled by the concrete class, typically in initNotifiers().
    std::shared_ptr<UnifiedBusinessObjectNotifiersImpl> notifiers_;

  private:
    zam::Mutex observerMutex_;                                             // guards observers_
    std::vector<std::weak_ptr<UnifiedBusinessObjectObserver>> observers_;  // in order of addition
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDBUSINESSOBJECTIMPL_H
