#include <ZAMUnified/FeatureSetBase.h>

#include <zam/ScopedLock.h>

#include <utility>

namespace ZAMUnified {

FeatureSetBase::FeatureSetBase(std::vector<unsigned int> ids)
    : provisioned_(ids.begin(), ids.end()) {}

FeatureSetBase::~FeatureSetBase() = default;

void FeatureSetBase::provision(unsigned int id) {
    zam::ScopedLock lock(mutex_);
    provisioned_.insert(id);
}

void FeatureSetBase::StartFeatureSet(unsigned int id, EventsPtr) {
    zam::ScopedLock lock(mutex_);
    if (provisioned_.count(id) != 0) {
        started_.insert(id);
    }
}

void FeatureSetBase::StopFeatureSet(unsigned int id, EventsPtr) {
    zam::ScopedLock lock(mutex_);
    started_.erase(id);
}

void FeatureSetBase::Destroy() {
    zam::ScopedLock lock(mutex_);
    started_.clear();
}

bool FeatureSetBase::IsFeatureSetStarted(unsigned int id) {
    zam::ScopedLock lock(mutex_);
    return started_.count(id) != 0;
}

bool FeatureSetBase::IsFeatureSetProvisioned(unsigned int id) {
    zam::ScopedLock lock(mutex_);
    return provisioned_.count(id) != 0;
}

std::vector<unsigned int> FeatureSetBase::GetFeatureSetDependencies(unsigned int) {
    return {};
}

}  // namespace ZAMUnified
