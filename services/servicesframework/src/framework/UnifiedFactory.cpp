#include <ZAMUnified/UnifiedFactory.h>

#include <KORCoreUtils.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <zam/ScopedLock.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "common/detail/ModuleLoggers.h"
#include "framework/detail/DefaultAuthenticators.h"
#include "framework/detail/LoadFailures.h"

namespace ZAMUnified {

namespace {

const char* const kSourcePath = "services/servicesframework/src/framework/UnifiedFactory";

// Authenticator ids are named by their text read as a signed 32-bit number.
std::string signedText(unsigned int id) {
    return KORCoreUtils::toString(static_cast<int>(id));
}

using Kind = LibraryLoader::ItemKind;

// The operation a load is logged under when the factory has no loader.
const char* loadOperation(Kind kind) {
    switch (kind) {
        case Kind::Service:
            return "loadService";
        case Kind::FeatureSet:
            return "loadFeatureSet";
        case Kind::Authenticator:
            return "loadAuthenticator";
    }
    return "";
}

// Runs the loader's load of the key, then finds the first record that lists the key, searched as
// the load searched.
std::optional<LibraryStatus> loadAndFind(LibraryLoader& loader, const detail::LoadKey& key) {
    if (key.byId()) {
        switch (key.kind()) {
            case Kind::Service:
                loader.LoadService(key.id());
                break;
            case Kind::FeatureSet:
                loader.LoadFeatureSet(key.id());
                break;
            case Kind::Authenticator:
                loader.LoadAuthenticator(key.id());
                break;
        }
        return loader.findLibraryStatus(key.kind(), key.id());
    }
    switch (key.kind()) {
        case Kind::Service:
            loader.LoadService(key.text());
            break;
        case Kind::FeatureSet:
            loader.LoadFeatureSet(key.text());
            break;
        case Kind::Authenticator:
            loader.LoadAuthenticator(key.text());
            break;
    }
    return loader.findLibraryStatus(key.kind(), key.text());
}

}  // namespace

UnifiedFactory::UnifiedFactory()
    : serviceRegistry_(std::make_shared<TypeMap<UnifiedService>>()),
      featureSetRegistry_(std::make_shared<TypeMap<FeatureSet>>()),
      servicesDispatcher_(),
      backgroundDispatcher_(),
      initialized_(false),
      loadFailures_(std::make_unique<detail::LoadFailures>(kMaxLoadFailures)) {
    backgroundDispatcher_ = std::make_shared<Processing::TaskDispatcher>("CommonTaskDisp", 4, 100);
    servicesDispatcher_ = std::make_shared<ServicesDispatcher>();
}

UnifiedFactory::~UnifiedFactory() = default;

void UnifiedFactory::Init() {
    SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "Init", "Initializing");
    zam::ScopedLock lock(stateMutex_);
    if (!initialized_) {
        // shared_from_this() throws when the factory is not owned by a shared pointer; the flag
        // is set only once everything exists, so such a failure leaves the factory uninitialised.
        libraryLoader_ = std::make_shared<LibraryLoader>(shared_from_this());
        libraryLoader_->Startup();
        resourceMonitor_ = std::make_shared<ResourceMonitor>(shared_from_this());
        initialized_ = true;
    }
    SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "Init", "Initialized");
}

void UnifiedFactory::Reset() {
    SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "Reset", "Resetting");
    {
        zam::ScopedLock lock(stateMutex_);
        initialized_ = false;
    }
    Destroy();
    featureSetRegistry_->clear();
    // Released outside the lock: an authenticator's destructor may call back into the factory.
    std::map<unsigned int, std::shared_ptr<Authenticator>> authenticators;
    std::shared_ptr<ResourceMonitor> monitor;
    std::shared_ptr<LibraryLoader> loader;
    {
        zam::ScopedLock lock(stateMutex_);
        authenticatorNames_.clear();
        authenticatorDisplayNames_.clear();
        authenticators.swap(authenticators_);
    }
    serviceRegistry_->clear();
    {
        zam::ScopedLock lock(stateMutex_);
        nameSetOne_.clear();
        nameSetTwo_.clear();
        loadFailures_->clear();
        monitor.swap(resourceMonitor_);
    }
    monitor.reset();
    servicesDispatcher_->clear();
    {
        zam::ScopedLock lock(stateMutex_);
        loader.swap(libraryLoader_);
    }
    if (loader) {
        loader->UnloadLibraries();
    }
    loader.reset();
    SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "Reset", "Reset complete");
}

void UnifiedFactory::Destroy() {
    // A copy of the registry, so that injection on the dispatcher thread may go on meanwhile and
    // an adapter's Destroy() may use the registry.
    std::vector<FeatureSetAdapter*> destroyed;
    for (const auto& entry : featureSetRegistry_->itemsByName()) {
        auto adapter = std::dynamic_pointer_cast<FeatureSetAdapter>(entry.second);
        if (!adapter ||
            std::find(destroyed.begin(), destroyed.end(), adapter.get()) != destroyed.end()) {
            continue;
        }
        adapter->Destroy();
        destroyed.push_back(adapter.get());
    }
}

std::shared_ptr<ServicesDispatcher> UnifiedFactory::getServicesDispatcher() {
    return servicesDispatcher_;
}

std::shared_ptr<Processing::TaskDispatcher> UnifiedFactory::getBackgroundDispatcher() {
    return backgroundDispatcher_;
}

std::shared_ptr<ResourceMonitor> UnifiedFactory::getResourceMonitor() {
    zam::ScopedLock lock(stateMutex_);
    return resourceMonitor_;
}

void UnifiedFactory::setDataPersistor(std::shared_ptr<IDataPersistor> persistor) {
    zam::ScopedLock lock(stateMutex_);
    dataPersistor_ = std::move(persistor);
}

std::shared_ptr<IDataPersistor> UnifiedFactory::getDataPersistor() {
    zam::ScopedLock lock(stateMutex_);
    return dataPersistor_;
}

std::shared_ptr<TypeMap<UnifiedService>> UnifiedFactory::getServiceRegistry() {
    return serviceRegistry_;
}

std::shared_ptr<TypeMap<FeatureSet>> UnifiedFactory::getFeatureSetRegistry() {
    return featureSetRegistry_;
}

std::shared_ptr<LibraryLoader> UnifiedFactory::getLibraryLoader() {
    zam::ScopedLock lock(stateMutex_);
    return libraryLoader_;
}

std::shared_ptr<LibraryLoader> UnifiedFactory::loaderForLoad(const char* operation,
                                                             const std::string& key) {
    std::shared_ptr<LibraryLoader> loader = getLibraryLoader();
    if (!loader) {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, operation,
               "Cannot load " << key << ": the factory is not initialized");
    }
    return loader;
}

void UnifiedFactory::loadService(const std::string& name) {
    load(detail::LoadKey(Kind::Service, name));
}

void UnifiedFactory::loadService(unsigned int id) {
    load(detail::LoadKey(Kind::Service, id));
}

void UnifiedFactory::loadFeatureSet(const std::string& name) {
    load(detail::LoadKey(Kind::FeatureSet, name));
}

void UnifiedFactory::loadFeatureSet(unsigned int id) {
    load(detail::LoadKey(Kind::FeatureSet, id));
}

void UnifiedFactory::loadAuthenticator(unsigned int id) {
    load(detail::LoadKey(Kind::Authenticator, id));
}

void UnifiedFactory::loadAuthenticator(const std::string& name) {
    load(detail::LoadKey(Kind::Authenticator, name));
}

void UnifiedFactory::load(const detail::LoadKey& key) {
    std::shared_ptr<LibraryLoader> loader = loaderForLoad(loadOperation(key.kind()), key.text());
    std::optional<LibraryStatus> status;
    if (loader) {
        status = loadAndFind(*loader, key);
    }
    std::string reason =
        detail::loadFailureReason(key, loader != nullptr, status, isRegistered(key));
    zam::ScopedLock lock(stateMutex_);
    loadFailures_->keep(key, std::move(reason));
}

bool UnifiedFactory::isRegistered(const detail::LoadKey& key) {
    switch (key.kind()) {
        case Kind::Service:
            return (key.byId() ? serviceRegistry_->getItem<UnifiedService>(key.id())
                               : serviceRegistry_->getItem<UnifiedService>(key.text())) != nullptr;
        case Kind::FeatureSet:
            return (key.byId() ? featureSetRegistry_->getItem<FeatureSet>(key.id())
                               : featureSetRegistry_->getItem<FeatureSet>(key.text())) != nullptr;
        case Kind::Authenticator:
            return key.byId() ? hasAuthenticator(key.id()) : hasAuthenticatorNamed(key.text());
    }
    return false;
}

std::string UnifiedFactory::loadFailure(const detail::LoadKey& key) {
    if (isRegistered(key)) {
        return std::string();
    }
    zam::ScopedLock lock(stateMutex_);
    return loadFailures_->find(key);
}

std::string UnifiedFactory::getServiceLoadFailure(const std::string& mangledName) {
    return loadFailure(detail::LoadKey(Kind::Service, mangledName));
}

std::string UnifiedFactory::getServiceLoadFailure(unsigned int id) {
    return loadFailure(detail::LoadKey(Kind::Service, id));
}

std::string UnifiedFactory::getFeatureSetLoadFailure(const std::string& mangledName) {
    return loadFailure(detail::LoadKey(Kind::FeatureSet, mangledName));
}

std::string UnifiedFactory::getFeatureSetLoadFailure(unsigned int id) {
    return loadFailure(detail::LoadKey(Kind::FeatureSet, id));
}

std::string UnifiedFactory::getAuthenticatorLoadFailure(unsigned int id) {
    return loadFailure(detail::LoadKey(Kind::Authenticator, id));
}

std::string UnifiedFactory::getAuthenticatorLoadFailure(const std::string& name) {
    return loadFailure(detail::LoadKey(Kind::Authenticator, name));
}

bool UnifiedFactory::hasAuthenticator(unsigned int id) {
    zam::ScopedLock lock(stateMutex_);
    return authenticators_.count(id) != 0;
}

bool UnifiedFactory::hasAuthenticatorNamed(const std::string& name) {
    zam::ScopedLock lock(stateMutex_);
    for (const auto& entry : authenticatorNames_) {
        if (authenticators_.count(entry.first) != 0 &&
            KORCoreUtils::caseInsensitiveStringEquals(entry.second, name)) {
            return true;
        }
    }
    return false;
}

std::vector<std::pair<unsigned int, std::string>> UnifiedFactory::getRegisteredAuthenticators() {
    zam::ScopedLock lock(stateMutex_);
    std::vector<std::pair<unsigned int, std::string>> registered;
    for (const auto& entry : authenticators_) {
        auto name = authenticatorNames_.find(entry.first);
        registered.emplace_back(entry.first, name != authenticatorNames_.end()
                                                 ? name->second
                                                 : signedText(entry.first));
    }
    return registered;
}

std::shared_ptr<LibraryRecord> UnifiedFactory::getLibraryRecord(unsigned int id) {
    std::shared_ptr<LibraryLoader> loader = getLibraryLoader();
    return loader ? loader->getLibraryRecord(id) : std::shared_ptr<LibraryRecord>();
}

std::shared_ptr<UnifiedService> UnifiedFactory::getService(const std::string& mangledName) {
    if (auto service = serviceRegistry_->getItem<UnifiedService>(mangledName)) {
        return service;
    }
    loadService(mangledName);
    return serviceRegistry_->getItem<UnifiedService>(mangledName);
}

std::shared_ptr<UnifiedService> UnifiedFactory::getService(unsigned int id) {
    if (auto service = serviceRegistry_->getItem<UnifiedService>(id)) {
        return service;
    }
    loadService(id);
    return serviceRegistry_->getItem<UnifiedService>(id);
}

std::shared_ptr<FeatureSetAdapter> UnifiedFactory::getFeatureSetAdapter(unsigned int id) {
    if (auto adapter = featureSetRegistry_->getItem<FeatureSetAdapter>(id)) {
        return adapter;
    }
    loadFeatureSet(id);
    return featureSetRegistry_->getItem<FeatureSetAdapter>(id);
}

std::shared_ptr<Authenticator> UnifiedFactory::getAuthenticator(unsigned int id) {
    {
        zam::ScopedLock lock(stateMutex_);
        auto found = authenticators_.find(id);
        if (found != authenticators_.end()) {
            return found->second;
        }
    }
    loadAuthenticator(id);
    zam::ScopedLock lock(stateMutex_);
    auto found = authenticators_.find(id);
    return found == authenticators_.end() ? std::shared_ptr<Authenticator>() : found->second;
}

void UnifiedFactory::setAuthenticator(unsigned int id,
                                      std::shared_ptr<Authenticator> authenticator) {
    zam::ScopedLock lock(stateMutex_);
    authenticators_[id] = std::move(authenticator);
    authenticatorNames_[id] = signedText(id);
}

void UnifiedFactory::setAuthenticator(unsigned int id, const std::string& name,
                                      const std::string& displayName,
                                      std::shared_ptr<Authenticator> authenticator) {
    zam::ScopedLock lock(stateMutex_);
    authenticators_[id] = std::move(authenticator);
    authenticatorNames_[id] = name;
    authenticatorDisplayNames_[id] = displayName;
}

void UnifiedFactory::setAuthenticatorName(unsigned int id, const std::string& name) {
    zam::ScopedLock lock(stateMutex_);
    authenticatorNames_[id] = name;
}

void UnifiedFactory::setAuthenticatorDisplayName(unsigned int id, const std::string& displayName) {
    zam::ScopedLock lock(stateMutex_);
    authenticatorDisplayNames_[id] = displayName;
}

std::string UnifiedFactory::getAuthenticatorName(unsigned int id) {
    {
        zam::ScopedLock lock(stateMutex_);
        auto found = authenticatorNames_.find(id);
        if (found != authenticatorNames_.end()) {
            return found->second;
        }
    }
    loadAuthenticator(id);
    zam::ScopedLock lock(stateMutex_);
    // emplace keeps a name that injection stored meanwhile.
    return authenticatorNames_.emplace(id, signedText(id)).first->second;
}

std::string UnifiedFactory::getAuthenticatorDisplayName(unsigned int id) {
    {
        zam::ScopedLock lock(stateMutex_);
        auto found = authenticatorDisplayNames_.find(id);
        if (found != authenticatorDisplayNames_.end()) {
            return found->second;
        }
    }
    loadAuthenticator(id);
    {
        zam::ScopedLock lock(stateMutex_);
        auto found = authenticatorDisplayNames_.find(id);
        if (found != authenticatorDisplayNames_.end()) {
            return found->second;
        }
    }
    const std::string name = getAuthenticatorName(id);
    zam::ScopedLock lock(stateMutex_);
    return authenticatorDisplayNames_.emplace(id, name).first->second;
}

unsigned int UnifiedFactory::getAuthenticatorId(const std::string& name) {
    auto findId = [this, &name](bool& found) {
        zam::ScopedLock lock(stateMutex_);
        for (const auto& entry : authenticatorNames_) {
            if (KORCoreUtils::caseInsensitiveStringEquals(entry.second, name)) {
                found = true;
                return entry.first;
            }
        }
        found = false;
        return 0u;
    };
    bool found = false;
    unsigned int id = findId(found);
    if (!found) {
        loadAuthenticator(name);
        id = findId(found);
    }
    if (id != 0) {
        return id;
    }
    SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_WARNING, kSourcePath, "getAuthenticatorId",
           "No AuthenticatorId found for " << name << " from authenticator names map, use default");
    return getDefaultAuthenticatorId(name);
}

std::string UnifiedFactory::getDefaultAuthenticatorName(unsigned int id) {
    return detail::defaultAuthenticatorName(id);
}

unsigned int UnifiedFactory::getDefaultAuthenticatorId(const std::string& name) {
    return detail::defaultAuthenticatorId(name);
}

void UnifiedFactory::StartFeatureSet(unsigned int id, EventsPtr events) {
    std::shared_ptr<FeatureSetAdapter> adapter = getFeatureSetAdapter(id);
    if (adapter && adapter->IsFeatureSetProvisioned(id)) {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "StartFeatureSet",
               "Starting Feature Set " << id << " on provider");
        adapter->StartFeatureSet(id, events);
    } else {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "StartFeatureSet",
               "Cannot Start Feature Set " << id << " on provider as its not provisioned");
    }
}

void UnifiedFactory::StopFeatureSet(unsigned int id, EventsPtr events) {
    std::shared_ptr<FeatureSetAdapter> adapter = getFeatureSetAdapter(id);
    if (!adapter || !adapter->IsFeatureSetProvisioned(id)) {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "StopFeatureSet",
               "Cannot Stop Feature " << id << " on provider as its not provisioned");
    } else if (adapter->IsFeatureSetStarted(id)) {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "StopFeatureSet",
               "Stopping Feature Set " << id << " on provider");
        adapter->StopFeatureSet(id, events);
    } else {
        SF_LOG(detail::unifiedFactoryLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "StopFeatureSet",
               "Cannot Stop Feature Set " << id << " on provider as its not started");
    }
}

bool UnifiedFactory::IsFeatureSetStarted(unsigned int id) {
    std::shared_ptr<FeatureSetAdapter> adapter = getFeatureSetAdapter(id);
    return adapter && adapter->IsFeatureSetStarted(id);
}

bool UnifiedFactory::IsFeatureSetProvisioned(unsigned int id) {
    std::shared_ptr<FeatureSetAdapter> adapter = getFeatureSetAdapter(id);
    return adapter && adapter->IsFeatureSetProvisioned(id);
}

std::vector<unsigned int> UnifiedFactory::GetFeatureSetDependencies(unsigned int id) {
    std::shared_ptr<FeatureSetAdapter> adapter = getFeatureSetAdapter(id);
    if (adapter && adapter->IsFeatureSetProvisioned(id)) {
        return adapter->GetFeatureSetDependencies(id);
    }
    return {};
}

}  // namespace ZAMUnified
