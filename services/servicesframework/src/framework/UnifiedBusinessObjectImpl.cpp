#include <ZAMUnified/UnifiedBusinessObjectImpl.h>

#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <atomic>
#include <utility>

namespace ZAMUnified {

namespace {

// Shared by every object of the process, so GUIDs are unique and never reused.
std::atomic<long long> guidCounter{0};

}  // namespace

UnifiedBusinessObjectImpl::UnifiedBusinessObjectImpl(std::shared_ptr<UnifiedFactory> factory,
                                                     bool uncommitted, const std::string& name)
    : uncommitted_(uncommitted), name_(name), factory_(std::move(factory)) {
    // Checked before the GUID is drawn, so a refused construction uses up no GUID.
    EnsureUpdateAccess(true);
    guid_ = generateGuid();
}

UnifiedBusinessObjectImpl::UnifiedBusinessObjectImpl(std::shared_ptr<UnifiedFactory> factory,
                                                     const std::string& name)
    : UnifiedBusinessObjectImpl(std::move(factory), false, name) {}

UnifiedBusinessObjectImpl::~UnifiedBusinessObjectImpl() = default;

std::string UnifiedBusinessObjectImpl::generateGuid() {
    return std::to_string(guidCounter.fetch_add(1, std::memory_order_relaxed) + 1);
}

std::string UnifiedBusinessObjectImpl::getGuid() {
    return guid_;
}

std::string UnifiedBusinessObjectImpl::toString() {
    return getInterfaceName();
}

void UnifiedBusinessObjectImpl::commitToServicesDispatcher() {
    uncommitted_.store(false, std::memory_order_release);
}

void UnifiedBusinessObjectImpl::EnsureUpdateAccess(bool check) const {
    if (!check || uncommitted_.load(std::memory_order_acquire) || !factory_) {
        return;
    }
    if (std::shared_ptr<ServicesDispatcher> dispatcher = factory_->getServicesDispatcher()) {
        dispatcher->ensureUpdateAccess(std::string());
    }
}

void UnifiedBusinessObjectImpl::addObserver(std::weak_ptr<UnifiedBusinessObjectObserver> observer) {
    zam::ScopedLock lock(observerMutex_);
    observers_.push_back(std::move(observer));
}

void UnifiedBusinessObjectImpl::removeObserver(
    std::weak_ptr<UnifiedBusinessObjectObserver> observer) {
    std::shared_ptr<UnifiedBusinessObjectObserver> target = observer.lock();
    if (!target) {
        return;
    }
    zam::ScopedLock lock(observerMutex_);
    for (auto it = observers_.begin(); it != observers_.end(); ++it) {
        std::shared_ptr<UnifiedBusinessObjectObserver> candidate = it->lock();
        if (candidate && candidate == target) {
            observers_.erase(it);
            return;
        }
    }
}

void UnifiedBusinessObjectImpl::fireOnInfoChanged() {
    const ObserverPtrVtr<UnifiedBusinessObjectObserver>::Type observers =
        getFilteredObservers<UnifiedBusinessObjectObserver>();
    for (const auto& observer : observers) {
        observer->OnInfoChanged();
    }
}

std::shared_ptr<UnifiedBusinessObjectNotifiers>
UnifiedBusinessObjectImpl::getUnifiedBusinessObjectNotifiers() {
    initNotifiers();
    return std::dynamic_pointer_cast<UnifiedBusinessObjectNotifiers>(notifiers_);
}

}  // namespace ZAMUnified
