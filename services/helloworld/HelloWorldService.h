// The sample service library "HelloWorldService": a greeting service, its owner (a business object
// of its own), a feature set and an authenticator. It is the model for service libraries: plain
// member functions here, their reflection in HelloWorldReflectors.cpp, registration in
// InjectHelloWorldService. Threading: state changes only on the dispatcher thread; they throw
// DispatcherAccessExceptionImpl elsewhere, before anything changes. Reads follow the same rule.
#ifndef HELLOWORLD_HELLOWORLDSERVICE_H
#define HELLOWORLD_HELLOWORLDSERVICE_H

#include <ServicesFramework.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace ZAMUnified {

using StringList = std::shared_ptr<std::vector<std::string>>;

// Counts one live object of a name in the factory's resource monitor for as long as it lives, as
// a service library that wants its objects in the monitor's figures does. A monitor dropped by the
// factory's Reset() is not counted down.
class MonitoredObject {
  public:
    MonitoredObject(const std::shared_ptr<UnifiedFactory>& factory, std::string name);
    ~MonitoredObject();
    MonitoredObject(const MonitoredObject&) = delete;
    MonitoredObject& operator=(const MonitoredObject&) = delete;

  private:
    std::weak_ptr<ResourceMonitor> monitor_;
    std::string name_;
};

// The service's owner, reached through the Owner property or directly by GUID.
class HelloWorldOwner : public UnifiedBusinessObjectImpl {
  public:
    HelloWorldOwner(std::shared_ptr<UnifiedFactory> factory, std::string name, int age);
    std::string getInterfaceName() override { return "HelloWorldOwner"; }
    void initNotifiers() override {}

    std::string getName() const { return name_; }
    void setName(const std::string& name);
    int getAge() const { return age_; }
    void setAge(int age);
    const std::shared_ptr<ChangeNotifier>& nameChanges() const { return nameChanges_; }

  private:
    MonitoredObject counted_;
    std::string name_;
    int age_;
    std::shared_ptr<ChangeNotifier> nameChanges_ = std::make_shared<ChangeNotifier>();
};

class HelloWorldService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    static constexpr unsigned int kId = 42876;

    explicit HelloWorldService(std::shared_ptr<UnifiedFactory> factory);
    std::string getInterfaceName() override { return "HelloWorldService"; }
    void initNotifiers() override {}

    // "Hello" at first; a change is announced through greetingChanges().
    std::string getGreeting() const { return greeting_; }
    void setGreeting(const std::string& greeting);
    // The names greeted so far, oldest first, as a copy. Appends are announced as (true, index of
    // the first new name, number of new names).
    StringList getGreetedNames() const {
        return std::make_shared<std::vector<std::string>>(greeted_);
    }
    // The guest list, replaced whole; announced as (true, 0, old size, new size).
    StringList getGuests() const { return std::make_shared<std::vector<std::string>>(guests_); }
    void setGuests(const StringList& guests);
    zam::SecureString getSecret() const { return secret_; }
    void setSecret(const zam::SecureString& secret);
    std::shared_ptr<HelloWorldOwner> getOwner() const { return owner_; }

    // "<greeting>, World!", and "<greeting>, <name>!" which also records the name.
    std::string sayHello() const;
    std::string sayHello(const std::string& name);
    int add(int a, int b) const { return a + b; }
    // One greeting per name, separated by blanks; records every name.
    std::string greetAll(const StringList& names);

    const std::shared_ptr<ChangeNotifier>& greetingChanges() const { return greetingChanges_; }
    const std::shared_ptr<ListChangeNotifier>& greetedNamesChanges() const {
        return greetedChanges_;
    }
    const std::shared_ptr<MutableListChangeNotifier>& guestsChanges() const {
        return guestsChanges_;
    }

  private:
    // Expects update access already checked.
    void recordGreeted(const std::vector<std::string>& names);

    MonitoredObject counted_;
    std::string greeting_ = "Hello";
    std::vector<std::string> greeted_;
    std::vector<std::string> guests_;
    zam::SecureString secret_;
    std::shared_ptr<HelloWorldOwner> owner_;
    std::shared_ptr<ChangeNotifier> greetingChanges_ = std::make_shared<ChangeNotifier>();
    std::shared_ptr<ListChangeNotifier> greetedChanges_ = std::make_shared<ListChangeNotifier>();
    std::shared_ptr<MutableListChangeNotifier> guestsChanges_ =
        std::make_shared<MutableListChangeNotifier>();
};

// Provisioned for HelloWorldService::kId only. The factory may ask from any thread.
class HelloWorldFeatureSet : public FeatureSet, public FeatureSetAdapter {
  public:
    void StartFeatureSet(unsigned int id, EventsPtr events) override;
    void StopFeatureSet(unsigned int id, EventsPtr events) override;
    void Destroy() override { started_ = false; }
    bool IsFeatureSetStarted(unsigned int id) override {
        return IsFeatureSetProvisioned(id) && started_;
    }
    bool IsFeatureSetProvisioned(unsigned int id) override { return id == HelloWorldService::kId; }
    std::vector<unsigned int> GetFeatureSetDependencies(unsigned int) override { return {}; }

  private:
    std::atomic<bool> started_{false};
};

class HelloWorldAuthenticator : public Authenticator {};

}  // namespace ZAMUnified

#endif  // HELLOWORLD_HELLOWORLDSERVICE_H
