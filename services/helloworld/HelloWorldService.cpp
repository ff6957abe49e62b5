#include "HelloWorldService.h"

#include <utility>

namespace ZAMUnified {

MonitoredObject::MonitoredObject(const std::shared_ptr<UnifiedFactory>& factory, std::string name)
    : monitor_(factory ? factory->getResourceMonitor() : nullptr), name_(std::move(name)) {
    if (auto monitor = monitor_.lock()) {
        monitor->incrementObjectCount(name_);
    }
}

MonitoredObject::~MonitoredObject() {
    if (auto monitor = monitor_.lock()) {
        monitor->decrementObjectCount(name_);
    }
}

HelloWorldOwner::HelloWorldOwner(std::shared_ptr<UnifiedFactory> factory, std::string name, int age)
    : UnifiedBusinessObjectImpl(factory, "HelloWorldOwner"),
      counted_(factory, "HelloWorldOwner"),
      name_(std::move(name)),
      age_(age) {}

void HelloWorldOwner::setName(const std::string& name) {
    EnsureUpdateAccess(true);
    name_ = name;
    nameChanges_->notify();
}

void HelloWorldOwner::setAge(int age) {
    EnsureUpdateAccess(true);
    age_ = age;
}

HelloWorldService::HelloWorldService(std::shared_ptr<UnifiedFactory> factory)
    : UnifiedBusinessObjectImpl(factory, "HelloWorldService"),
      counted_(factory, "HelloWorldService"),
      owner_(std::make_shared<HelloWorldOwner>(factory, "Ada", 36)) {}

void HelloWorldService::setGreeting(const std::string& greeting) {
    EnsureUpdateAccess(true);
    greeting_ = greeting;
    greetingChanges_->notify();
}

void HelloWorldService::setGuests(const StringList& guests) {
    EnsureUpdateAccess(true);
    const int before = static_cast<int>(guests_.size());
    // The argument's vector is shared with the caller, so it is copied, not kept.
    guests_ = guests ? *guests : std::vector<std::string>();
    guestsChanges_->notify(true, 0, before, static_cast<int>(guests_.size()));
}

void HelloWorldService::setSecret(const zam::SecureString& secret) {
    EnsureUpdateAccess(true);
    secret_ = secret;
}

std::string HelloWorldService::sayHello() const {
    return greeting_ + ", World!";
}

std::string HelloWorldService::sayHello(const std::string& name) {
    EnsureUpdateAccess(true);
    recordGreeted({name});
    return greeting_ + ", " + name + "!";
}

std::string HelloWorldService::greetAll(const StringList& names) {
    EnsureUpdateAccess(true);
    const std::vector<std::string> all = names ? *names : std::vector<std::string>();
    std::string text;
    for (const std::string& name : all) {
        text += (text.empty() ? "" : " ") + greeting_ + ", " + name + "!";
    }
    recordGreeted(all);
    return text;
}

void HelloWorldService::recordGreeted(const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    const int first = static_cast<int>(greeted_.size());
    greeted_.insert(greeted_.end(), names.begin(), names.end());
    greetedChanges_->notify(true, first, static_cast<int>(names.size()));
}

void HelloWorldFeatureSet::StartFeatureSet(unsigned int id, EventsPtr) {
    if (IsFeatureSetProvisioned(id)) {
        started_ = true;
    }
}

void HelloWorldFeatureSet::StopFeatureSet(unsigned int id, EventsPtr) {
    if (IsFeatureSetProvisioned(id)) {
        started_ = false;
    }
}

}  // namespace ZAMUnified
