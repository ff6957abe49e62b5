// ZAMUnified::UnifiedFactory: the process-wide registry of services, feature sets and
// authenticators; owns both dispatchers, the library loader and the resource monitor, loads what
// is asked for and not yet present, and starts and stops feature sets. Create it with make_shared.
// Threading: look-ups and loads from any thread (injection runs on the dispatcher thread, the
// constructing thread); Init(), Reset() and Destroy() on the host's thread.
// Failure: look-ups answer an empty pointer; load and configuration failures are log records.
#ifndef ZAMUNIFIED_UNIFIEDFACTORY_H
#define ZAMUNIFIED_UNIFIEDFACTORY_H

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <ZAMUnified/Authenticator.h>
#include <ZAMUnified/FeatureSet.h>
#include <ZAMUnified/FeatureSetAdapter.h>
#include <ZAMUnified/IDataPersistor.h>
#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/ServiceEvent.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedService.h>
#include <zam/Mutex.h>

namespace ZAMUnified {

class LibraryLoader;
class LibraryRecord;
class ResourceMonitor;
struct LibraryStatus;

namespace detail {
class LoadFailures;
class LoadKey;
}  // namespace detail

class UnifiedFactory : public FeatureSetAdapter,
                       public std::enable_shared_from_this<UnifiedFactory> {
  public:
    // Creates the registries, the background dispatcher "CommonTaskDisp" (4 threads, 100 s idle)
    // and the services dispatcher; the calling thread becomes the dispatcher thread.
    UnifiedFactory();

    UnifiedFactory(const UnifiedFactory&) = delete;
    UnifiedFactory& operator=(const UnifiedFactory&) = delete;

    // FeatureSetAdapter: each obtains the adapter with getFeatureSetAdapter(id), loading the
    // feature set on demand, and refuses (with an error record) ids that are not provisioned.
    void StartFeatureSet(unsigned int id, EventsPtr events) override;
    void StopFeatureSet(unsigned int id, EventsPtr events) override;
    // Calls Destroy() once on every feature-set object in the registry, however many names it
    // is registered under. Changes nothing in the registry.
    void Destroy() override;
    bool IsFeatureSetStarted(unsigned int id) override;
    bool IsFeatureSetProvisioned(unsigned int id) override;
    // Empty unless the feature set is provisioned for the id.
    std::vector<unsigned int> GetFeatureSetDependencies(unsigned int id) override;
    // The loader and the monitor hold the factory; Reset() must have dropped them first.
    ~UnifiedFactory() override;

    // Creates the loader (with the built-in library records) and the resource monitor, once
    // until the next Reset(). The factory must already be owned by a shared pointer.
    virtual void Init();
    virtual std::shared_ptr<ServicesDispatcher> getServicesDispatcher();
    virtual std::shared_ptr<Processing::TaskDispatcher> getBackgroundDispatcher();
    // Empty before Init() and after Reset().
    virtual std::shared_ptr<ResourceMonitor> getResourceMonitor();
    virtual void setDataPersistor(std::shared_ptr<IDataPersistor> persistor);
    virtual std::shared_ptr<IDataPersistor> getDataPersistor();
    // The feature-set object registered under the id, loading its library on demand; empty when
    // none is registered or it is not a FeatureSetAdapter.
    virtual std::shared_ptr<FeatureSetAdapter> getFeatureSetAdapter(unsigned int id);

    // Destroys every feature set, empties the registries and authenticator tables, drops the
    // monitor, clears the dispatcher queue and drops the loader with every record, also those
    // that manifests added (add them again after the next Init()). Libraries stay open.
    void Reset();

    // Loading. Each forwards to the loader; blocks off the dispatcher thread until the host has
    // pumped the load. Without a loader (between Reset() and Init()) logs an error and returns.
    void loadService(const std::string& name);
    void loadService(unsigned int id);
    void loadFeatureSet(const std::string& name);
    void loadFeatureSet(unsigned int id);
    void loadAuthenticator(unsigned int id);
    void loadAuthenticator(const std::string& name);
    // The record of the library that lists the id among its services; empty if none.
    std::shared_ptr<LibraryRecord> getLibraryRecord(unsigned int id);

    // Why the last load of the key through this factory (a load operation above, or a look-up
    // that loaded on a miss) left it unregistered, so that a host can tell a user without the
    // log: "No library record lists the service <key>", "The library <name> could not be opened:
    // <platform text>", "The library <name> has no injection entry Inject<name>", "The library
    // <name> threw from its injection entry Inject<name>: <text>", "The library <name> was
    // injected but did not register the service id <id>", or "The factory is not initialized".
    // Empty when no load of the key failed, or the key is registered now; a later load that
    // finds it clears the reason, and Reset() forgets every reason. Authenticator names are
    // matched case-blind, as the loader matches them.
    // At most kMaxLoadFailures keys keep a reason at once.
    static constexpr std::size_t kMaxLoadFailures = 1024;
    std::string getServiceLoadFailure(const std::string& mangledName);
    std::string getServiceLoadFailure(unsigned int id);
    std::string getFeatureSetLoadFailure(const std::string& mangledName);
    std::string getFeatureSetLoadFailure(unsigned int id);
    std::string getAuthenticatorLoadFailure(unsigned int id);
    std::string getAuthenticatorLoadFailure(const std::string& name);

    // Look-ups that load on demand; empty when nothing provides the key.
    std::shared_ptr<UnifiedService> getService(const std::string& mangledName);
    std::shared_ptr<UnifiedService> getService(unsigned int id);
    std::shared_ptr<Authenticator> getAuthenticator(unsigned int id);

    // For injected code: register with addItem under the mangled type name and the id.
    std::shared_ptr<TypeMap<UnifiedService>> getServiceRegistry();
    std::shared_ptr<TypeMap<FeatureSet>> getFeatureSetRegistry();
    // Empty between Reset() and Init(). A host calls LoadLibraryManifest on it.
    std::shared_ptr<LibraryLoader> getLibraryLoader();

    // Authenticators. The one-pointer form names the id by its decimal text.
    void setAuthenticator(unsigned int id, std::shared_ptr<Authenticator> authenticator);
    void setAuthenticator(unsigned int id, const std::string& name, const std::string& displayName,
                          std::shared_ptr<Authenticator> authenticator);
    void setAuthenticatorName(unsigned int id, const std::string& name);
    void setAuthenticatorDisplayName(unsigned int id, const std::string& displayName);
    // Every id that an authenticator object is registered under, ascending, with its name (its
    // decimal text when none was given). Loads nothing.
    std::vector<std::pair<unsigned int, std::string>> getRegisteredAuthenticators();
    // Loads on a miss; an id nothing provides is named (and from then on kept) by its decimal
    // text, and its display name is its name.
    std::string getAuthenticatorName(unsigned int id);
    std::string getAuthenticatorDisplayName(unsigned int id);
    // Case-blind; loads on a miss; falls back to getDefaultAuthenticatorId with a warning.
    unsigned int getAuthenticatorId(const std::string& name);
    // The fixed default table; an id without a default name yields its decimal text, a name
    // not in the table its decimal value or 0.
    std::string getDefaultAuthenticatorName(unsigned int id);
    unsigned int getDefaultAuthenticatorId(const std::string& name);

  private:
    // The loader, read under stateMutex_ so that a concurrent Reset() cannot free it under a
    // load; the load itself runs outside the lock.
    std::shared_ptr<LibraryLoader> loaderForLoad(const char* operation, const std::string& key);
    // Every load operation above: asks the loader for the key, then keeps why the key is still
    // not registered, from the state of the record that lists it, or forgets the reason.
    void load(const detail::LoadKey& key);
    // Whether the registry (or the authenticator table) holds the key now.
    bool isRegistered(const detail::LoadKey& key);
    std::string loadFailure(const detail::LoadKey& key);
    bool hasAuthenticator(unsigned int id);
    bool hasAuthenticatorNamed(const std::string& name);

    std::shared_ptr<LibraryLoader> libraryLoader_;
    std::shared_ptr<TypeMap<UnifiedService>> serviceRegistry_;
    std::shared_ptr<TypeMap<FeatureSet>> featureSetRegistry_;
    std::map<unsigned int, std::shared_ptr<Authenticator>> authenticators_;
    std::map<unsigned int, std::string> authenticatorNames_;
    std::map<unsigned int, std::string> authenticatorDisplayNames_;
    std::shared_ptr<ServicesDispatcher> servicesDispatcher_;
    std::shared_ptr<Processing::TaskDispatcher> backgroundDispatcher_;
    std::shared_ptr<ResourceMonitor> resourceMonitor_;
    // Kept for hosts' name lists to come; the framework adds nothing and Reset() empties them.
    std::set<std::string> nameSetOne_;
    std::set<std::string> nameSetTwo_;
    bool initialized_;
    std::shared_ptr<IDataPersistor> dataPersistor_;
    std::unique_ptr<detail::LoadFailures> loadFailures_;  // never empty
    // Guards loadFailures_, the three authenticator maps, the two name sets, the loader, monitor
    // and persistor pointers and initialized_. Never held while loading: a load waits for the
    // dispatcher thread, whose injection writes these maps.
    mutable zam::Mutex stateMutex_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDFACTORY_H
