#include <ZAMUnified/ResourceMonitor.h>

#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <zam/ScopedLock.h>

#include <utility>

namespace ZAMUnified {

ResourceMonitor::ResourceMonitor(std::shared_ptr<UnifiedFactory> factory)
    : factory_(std::move(factory)) {}

ResourceMonitor::~ResourceMonitor() = default;

void ResourceMonitor::incrementObjectCount(std::string name) {
    zam::ScopedLock lock(mutex_);
    ++liveCounts_[name];
    ++createdCounts_[name];
    if (capturing_) {
        ++snapshotLiveCounts_[name];
        ++snapshotCreatedCounts_[name];
    }
}

void ResourceMonitor::decrementObjectCount(std::string name) {
    zam::ScopedLock lock(mutex_);
    --liveCounts_[name];
    if (capturing_) {
        --snapshotLiveCounts_[name];
    }
}

void ResourceMonitor::startSnapshotCapture() {
    zam::ScopedLock lock(mutex_);
    snapshotLiveCounts_.clear();
    snapshotCreatedCounts_.clear();
    capturing_ = true;
}

void ResourceMonitor::endSnapshotCapture() {
    zam::ScopedLock lock(mutex_);
    capturing_ = false;
}

long ResourceMonitor::getNumObjects(ResourceNS::MapCountType type) {
    ensureDispatcherThread();
    zam::ScopedLock lock(mutex_);
    const CountMap* counts = selectLocked(type);
    return counts != nullptr ? getNumObjects(*counts) : -2;
}

int ResourceMonitor::getNumObjectsByObjectName(ResourceNS::MapCountType type, std::string name) {
    ensureDispatcherThread();
    zam::ScopedLock lock(mutex_);
    const CountMap* counts = selectLocked(type);
    return counts != nullptr ? getNumObjectsByObjectName(*counts, name) : -2;
}

std::string ResourceMonitor::buildString(ResourceNS::MapCountType type) {
    ensureDispatcherThread();
    zam::ScopedLock lock(mutex_);
    const CountMap* counts = selectLocked(type);
    return counts != nullptr ? buildString(*counts) : "Invalid Option";
}

const ResourceMonitor::CountMap* ResourceMonitor::selectLocked(
    ResourceNS::MapCountType type) const {
    switch (type) {
        case ResourceNS::ObjectsCreated:
            return &createdCounts_;
        case ResourceNS::ObjectsAlive:
            return &liveCounts_;
        case ResourceNS::SnapshotAlive:
            return &snapshotLiveCounts_;
        case ResourceNS::SnapshotCreated:
            return &snapshotCreatedCounts_;
    }
    return nullptr;
}

void ResourceMonitor::ensureDispatcherThread() {
    if (!factory_) {
        return;
    }
    if (std::shared_ptr<ServicesDispatcher> dispatcher = factory_->getServicesDispatcher()) {
        dispatcher->ensureUpdateAccess(std::string());
    }
}

std::string ResourceMonitor::buildString(const CountMap& counts) {
    std::string text;
    for (const auto& entry : counts) {
        text += entry.first;
        text += ": ";
        text += std::to_string(entry.second);
        text += '\n';
    }
    return text;
}

long ResourceMonitor::getNumObjects(const CountMap& counts) {
    // Added up in 64 bits: a 32-bit sum would wrap for large counts.
    long total = 0;
    for (const auto& entry : counts) {
        total += entry.second;
    }
    return total;
}

int ResourceMonitor::getNumObjectsByObjectName(const CountMap& counts, std::string& name) {
    const auto found = counts.find(name);
    return found != counts.end() ? static_cast<int>(found->second) : -1;
}

}  // namespace ZAMUnified
