// The sample service library "HelloWorldService": a greeting service, its owner (a business object
// of its own), a feature set and an authenticator. It is the model for service libraries: plain
// classes here, each naming its interface once, with public notifiers for the properties that
// announce changes; the registration, one line per item and per reflected member, in
// HelloWorldLibrary.cpp. Threading: state changes only on the dispatcher thread; they throw
// DispatcherAccessExceptionImpl elsewhere, before anything changes. Reads follow the same rule.
#ifndef HELLOWORLD_HELLOWORLDSERVICE_H
#define HELLOWORLD_HELLOWORLDSERVICE_H

#include <ServicesFramework.h>

#include <memory>
#include <string>
#include <vector>

namespace ZAMUnified {

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
class HelloWorldOwner : public BusinessObjectBase<HelloWorldOwner> {
  public:
    static constexpr const char* kInterfaceName = "HelloWorldOwner";

    HelloWorldOwner(std::shared_ptr<UnifiedFactory> factory, std::string name, int age);

    std::string getName() const { return name_; }
    void setName(const std::string& name);
    int getAge() const { return age_; }
    void setAge(int age);

    ChangeNotifier nameChanged;

  private:
    MonitoredObject counted_;
    std::string name_;
    int age_;
};

class HelloWorldService : public ServiceBase<HelloWorldService> {
  public:
    static constexpr const char* kInterfaceName = "HelloWorldService";
    static constexpr unsigned int kId = 42876;

    explicit HelloWorldService(std::shared_ptr<UnifiedFactory> factory);

    // "Hello" at first; a change is announced through greetingChanged.
    std::string getGreeting() const { return greeting_; }
    void setGreeting(const std::string& greeting);
    // The names greeted so far, oldest first. Appends are announced through greetedNamesChanged
    // as (true, index of the first new name, number of new names).
    std::vector<std::string> getGreetedNames() const { return greeted_; }
    // The guest list, replaced whole; announced through guestsChanged as (true, 0, old size, new
    // size).
    std::vector<std::string> getGuests() const { return guests_; }
    void setGuests(const std::vector<std::string>& guests);
    zam::SecureString getSecret() const { return secret_; }
    void setSecret(const zam::SecureString& secret);
    std::shared_ptr<HelloWorldOwner> getOwner() const { return owner_; }

    // "<greeting>, World!", and "<greeting>, <name>!" which also records the name.
    std::string sayHello() const;
    std::string sayHello(const std::string& name);
    int add(int a, int b) const { return a + b; }
    // One greeting per name, separated by blanks; records every name.
    std::string greetAll(const std::vector<std::string>& names);

    ChangeNotifier greetingChanged;
    ListChangeNotifier greetedNamesChanged;
    MutableListChangeNotifier guestsChanged;

  private:
    // Expects update access already checked.
    void recordGreeted(const std::vector<std::string>& names);

    MonitoredObject counted_;
    std::string greeting_ = "Hello";
    std::vector<std::string> greeted_;
    std::vector<std::string> guests_;
    zam::SecureString secret_;
    std::shared_ptr<HelloWorldOwner> owner_;
};

// Provisioned for HelloWorldService::kId, the id it is registered under; started and stopped
// through the factory, from any thread.
class HelloWorldFeatureSet : public FeatureSetBase {};

class HelloWorldAuthenticator : public Authenticator {};

}  // namespace ZAMUnified

#endif  // HELLOWORLD_HELLOWORLDSERVICE_H
