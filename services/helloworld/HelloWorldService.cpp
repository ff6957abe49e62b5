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
    : BusinessObjectBase(factory),
      counted_(factory, kInterfaceName),
      name_(std::move(name)),
      age_(age) {}

void HelloWorldOwner::setName(const std::string& name) {
    EnsureUpdateAccess(true);
    name_ = name;
    nameChanged.notify();
}

void HelloWorldOwner::setAge(int age) {
    EnsureUpdateAccess(true);
    age_ = age;
}

HelloWorldService::HelloWorldService(std::shared_ptr<UnifiedFactory> factory)
    : ServiceBase(factory),
      counted_(factory, kInterfaceName),
      owner_(std::make_shared<HelloWorldOwner>(factory, "Ada", 36)) {}

void HelloWorldService::setGreeting(const std::string& greeting) {
    EnsureUpdateAccess(true);
    greeting_ = greeting;
    greetingChanged.notify();
}

void HelloWorldService::setGuests(const std::vector<std::string>& guests) {
    EnsureUpdateAccess(true);
    const int before = static_cast<int>(guests_.size());
    guests_ = guests;
    guestsChanged.notify(true, 0, before, static_cast<int>(guests_.size()));
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

std::string HelloWorldService::greetAll(const std::vector<std::string>& names) {
    EnsureUpdateAccess(true);
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : " ") + greeting_ + ", " + name + "!";
    }
    recordGreeted(names);
    return text;
}

void HelloWorldService::recordGreeted(const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    const int first = static_cast<int>(greeted_.size());
    greeted_.insert(greeted_.end(), names.begin(), names.end());
    greetedNamesChanged.notify(true, first, static_cast<int>(names.size()));
}

}  // namespace ZAMUnified
