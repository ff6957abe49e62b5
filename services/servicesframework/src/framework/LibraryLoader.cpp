#include <ZAMUnified/LibraryLoader.h>

#include <KORCoreUtils.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/FunctorTask.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <zam/ScopedLock.h>

#include <dlfcn.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "common/detail/ModuleLoggers.h"
#include "framework/detail/LibraryManifestReader.h"

namespace ZAMUnified {

namespace {

const char* const kSourcePath = "services/servicesframework/src/framework/LibraryLoader";

const std::size_t kManifestProblemsKept = 256;

typedef void (*InjectFunction)(std::shared_ptr<UnifiedFactory>);

template <typename T>
bool contains(const std::vector<T>& list, const T& key) {
    return std::find(list.begin(), list.end(), key) != list.end();
}

// The matches of the six look-ups, shared by the loads and by findLibraryStatus so that both
// always pick the same record.
bool listsName(const LibraryRecord& record, LibraryLoader::ItemKind kind, const std::string& name) {
    switch (kind) {
        case LibraryLoader::ItemKind::Service:
            return contains(record.serviceNames, name);
        case LibraryLoader::ItemKind::FeatureSet:
            return contains(record.featureSetNames, name);
        case LibraryLoader::ItemKind::Authenticator:
            return std::any_of(record.authenticatorNames.begin(), record.authenticatorNames.end(),
                               [&name](const std::string& candidate) {
                                   return KORCoreUtils::caseInsensitiveStringCompare(candidate,
                                                                                     name) == 0;
                               });
    }
    return false;
}

bool listsId(const LibraryRecord& record, LibraryLoader::ItemKind kind, unsigned int id) {
    switch (kind) {
        case LibraryLoader::ItemKind::Service:
            return contains(record.serviceIds, id);
        case LibraryLoader::ItemKind::FeatureSet:
            return contains(record.featureSetIds, id);
        case LibraryLoader::ItemKind::Authenticator:
            return contains(record.authenticatorIds, id);
    }
    return false;
}

}  // namespace

LibraryLoader::LibraryLoader(std::shared_ptr<UnifiedFactory> factory)
    : factory_(std::move(factory)) {}

void LibraryLoader::Startup() {
    LoadManifests();
}

void LibraryLoader::LoadManifests() {
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadManifests",
           "Commencing Services Framework Library Loading");
    const std::string resources = KORCoreUtils::FileUtils::getResourcesDirectory();
    auto system = std::make_shared<LibraryRecord>();
    system->name = "SystemService";
    system->path = libraryPath(resources, system->name);
    system->serviceNames.push_back(MangleName("ZAMUnified::SystemService"));
    system->serviceIds.push_back(1000);
    system->authenticatorNames = {"TALON", "PYLON", "PRISM", "PRISMREFRESH"};
    system->authenticatorIds = {1000, 1001, 1800, 1801};
    addRecord(system);

    auto config = std::make_shared<LibraryRecord>();
    config->name = "ConfigService";
    config->path = libraryPath(resources, config->name);
    config->serviceNames.push_back(MangleName("ZAMUnified::ConfigService"));
    config->serviceIds.push_back(1300);
    config->featureSetNames.push_back(MangleName("ZAMUnified::ConfigFeatureSet"));
    config->featureSetIds.push_back(1300);
    addRecord(config);

    auto hello = std::make_shared<LibraryRecord>();
    hello->name = "HelloWorldService";
    hello->path = libraryPath(resources, hello->name);
    hello->serviceNames.push_back(MangleName("ZAMUnified::HelloWorldService"));
    hello->serviceIds.push_back(42876);
    hello->featureSetNames.push_back(MangleName("ZAMUnified::HelloWorldFeatureSet"));
    hello->featureSetIds.push_back(42876);
    hello->authenticatorNames.push_back("HELLOWORLD");
    hello->authenticatorIds.push_back(1801);
    addRecord(hello);
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadManifests",
           "Completed Services Framework Library Loading");
}

std::string LibraryLoader::MakeFullPath(std::string name) {
    return libraryPath(KORCoreUtils::FileUtils::getResourcesDirectory(), name);
}

std::string LibraryLoader::libraryPath(const std::string& resourcesDirectory,
                                       const std::string& name) {
    const std::string sep = KORCoreUtils::FileUtils::FileSeparator();
    return KORCoreUtils::FileUtils::getAbsolutePath(resourcesDirectory + sep + ".." + sep + "lib" +
                                                    sep + "lib" + name + ".so");
}

std::string LibraryLoader::MangleName(std::string name) {
    std::string mangled = detail::mangledTypeName(name);
    if (mangled.empty()) {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "MangleName",
               "The name: " << name << "\" is not valid.");
    }
    return mangled;
}

void LibraryLoader::LoadLibraryManifest(const std::string& directory) {
    const std::string manifestPath = directory + KORCoreUtils::FileUtils::FileSeparator() +
                                     KORCoreUtils::FileUtils::getFileName(directory) + ".xml";
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadLibraryManifest",
           "Processing file: " << manifestPath);
    if (KORCoreUtils::FileUtils::fileExists(manifestPath)) {
        ProcessLibraryManifest(manifestPath);
    } else {
        reportManifestProblem("LoadLibraryManifest", "File: " + manifestPath + " doesn't exists");
    }
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadLibraryManifest",
           "Completed Processing");
}

void LibraryLoader::ProcessLibraryManifest(const std::string& manifestPath) {
    detail::LibraryManifest manifest = detail::readLibraryManifest(manifestPath);
    for (const std::string& problem : manifest.problems) {
        reportManifestProblem("ProcessLibraryManifest", problem);
    }
    for (LibraryRecord& record : manifest.records) {
        addRecord(std::make_shared<LibraryRecord>(std::move(record)));
    }
}

void LibraryLoader::reportManifestProblem(const char* function, const std::string& message) {
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, function, message);
    zam::ScopedLock lock(recordsMutex_);
    // A host that keeps retrying a broken manifest must not grow the list without end.
    if (manifestProblems_.size() == kManifestProblemsKept) {
        manifestProblems_.erase(manifestProblems_.begin());
    }
    manifestProblems_.push_back(message);
}

std::vector<std::string> LibraryLoader::getManifestProblems() const {
    zam::ScopedLock lock(recordsMutex_);
    return manifestProblems_;
}

void LibraryLoader::addRecord(std::shared_ptr<LibraryRecord> record) {
    zam::ScopedLock lock(recordsMutex_);
    records_.push_back(std::move(record));
}

template <typename Predicate>
std::shared_ptr<LibraryRecord> LibraryLoader::findRecord(Predicate matches) {
    zam::ScopedLock lock(recordsMutex_);
    for (const std::shared_ptr<LibraryRecord>& record : records_) {
        if (matches(*record)) {
            return record;
        }
    }
    return std::shared_ptr<LibraryRecord>();
}

bool LibraryLoader::isLoaded(const std::shared_ptr<LibraryRecord>& record) const {
    zam::ScopedLock lock(recordsMutex_);
    return record->handle != nullptr;
}

template <typename Predicate>
void LibraryLoader::findAndLoad(const char* operation, Predicate matches,
                                const char* notFoundPrefix, const char* kind,
                                const std::string& key) {
    std::shared_ptr<LibraryRecord> record = findRecord(matches);
    if (!record) {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, operation,
               notFoundPrefix << key);
    } else if (isLoaded(record)) {
        SF_LOG_DEBUG(detail::libraryLoaderLogger, kSourcePath, operation,
                     "The " << kind << " " << key << " is already loaded");
    } else {
        LoadAndInjectLibrary(record);
    }
}

void LibraryLoader::LoadService(const std::string& name) {
    findAndLoad(
        "LoadService",
        [&name](const LibraryRecord& r) { return listsName(r, ItemKind::Service, name); },
        "Unable to find service matching the name: ", "service", name);
}

void LibraryLoader::LoadService(unsigned int id) {
    findAndLoad(
        "LoadService", [id](const LibraryRecord& r) { return listsId(r, ItemKind::Service, id); },
        "Unable to find service matching the name ", "service", KORCoreUtils::toString(id));
}

void LibraryLoader::LoadFeatureSet(const std::string& name) {
    findAndLoad(
        "LoadFeatureSet",
        [&name](const LibraryRecord& r) { return listsName(r, ItemKind::FeatureSet, name); },
        "Unable to find feature set matching the name ", "feature set", name);
}

void LibraryLoader::LoadFeatureSet(unsigned int id) {
    findAndLoad(
        "LoadFeatureSet",
        [id](const LibraryRecord& r) { return listsId(r, ItemKind::FeatureSet, id); },
        "Unable to find feature set matching the ID: ", "feature set", KORCoreUtils::toString(id));
}

void LibraryLoader::LoadAuthenticator(unsigned int id) {
    findAndLoad(
        "LoadAuthenticator",
        [id](const LibraryRecord& r) { return listsId(r, ItemKind::Authenticator, id); },
        "Unable to find authenticator matching the ID: ", "authenticator",
        KORCoreUtils::toString(id));
}

void LibraryLoader::LoadAuthenticator(const std::string& name) {
    findAndLoad(
        "LoadAuthenticator",
        [&name](const LibraryRecord& r) { return listsName(r, ItemKind::Authenticator, name); },
        "Unable to find authenticator matching the name: ", "authenticator", name);
}

std::shared_ptr<LibraryRecord> LibraryLoader::getLibraryRecord(unsigned int id) {
    return findRecord([id](const LibraryRecord& r) { return contains(r.serviceIds, id); });
}

std::vector<LibraryRecord> LibraryLoader::getLibraryRecords() const {
    zam::ScopedLock lock(recordsMutex_);
    std::vector<LibraryRecord> copies;
    copies.reserve(records_.size());
    for (const auto& record : records_) {
        copies.push_back(*record);
    }
    return copies;
}

LibraryStatus LibraryLoader::statusLocked(const LibraryRecord& record) {
    LibraryStatus status;
    status.record = record;
    if (!record.loadFailure.empty()) {
        status.state = LibraryStatus::State::Failed;
        status.reason = record.loadFailure;
    } else if (record.handle != nullptr) {
        status.state = LibraryStatus::State::Loaded;
    }
    return status;
}

std::vector<LibraryStatus> LibraryLoader::getLibraryStatuses() const {
    zam::ScopedLock lock(recordsMutex_);
    std::vector<LibraryStatus> statuses;
    statuses.reserve(records_.size());
    for (const auto& record : records_) {
        statuses.push_back(statusLocked(*record));
    }
    return statuses;
}

std::optional<LibraryStatus> LibraryLoader::findLibraryStatus(ItemKind kind,
                                                              const std::string& name) const {
    zam::ScopedLock lock(recordsMutex_);
    for (const auto& record : records_) {
        if (listsName(*record, kind, name)) {
            return statusLocked(*record);
        }
    }
    return std::nullopt;
}

std::optional<LibraryStatus> LibraryLoader::findLibraryStatus(ItemKind kind,
                                                              unsigned int id) const {
    zam::ScopedLock lock(recordsMutex_);
    for (const auto& record : records_) {
        if (listsId(*record, kind, id)) {
            return statusLocked(*record);
        }
    }
    return std::nullopt;
}

void LibraryLoader::setLoadFailure(const std::shared_ptr<LibraryRecord>& record,
                                   std::string failure) {
    zam::ScopedLock lock(recordsMutex_);
    record->loadFailure = std::move(failure);
}

void LibraryLoader::UnloadLibraries() {
    zam::ScopedLock lock(recordsMutex_);
    records_.clear();
}

void LibraryLoader::LoadAndInjectLibrary(std::shared_ptr<LibraryRecord> record) {
    std::shared_ptr<ServicesDispatcher> dispatcher = factory_->getServicesDispatcher();
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadAndInjectLibrary",
           "Service Dispatcher: " << static_cast<const void*>(dispatcher.get()));
    if (dispatcher->checkForUpdateAccess()) {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadAndInjectLibrary",
               "Update access true");
        if (isLoaded(record)) {
            return;
        }
        if (LoadLib(record)) {
            InjectLibrary(record);
        }
    } else {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadAndInjectLibrary",
               "Update access false");
        auto task = std::make_shared<FunctorTask<std::shared_ptr<LibraryRecord>, LibraryLoader>>(
            shared_from_this(), &LibraryLoader::LoadAndInjectLibrary, record,
            "LibraryLoader::LoadAndInjectLibrary");
        // A load dropped unrun (the dispatcher cleared, the factory reset) must not pass for one
        // that found nothing: the record keeps why, so that the caller's reason says so.
        if (!dispatcher->enqueueAndWait(task, false, true) && !isLoaded(record)) {
            SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath,
                   "LoadAndInjectLibrary",
                   "Could not load Services Library "
                       << record->name << ": the dispatcher dropped the load before running it");
            setLoadFailure(record,
                           "was not loaded: the dispatcher dropped the load before running it");
        }
    }
}

bool LibraryLoader::LoadLib(std::shared_ptr<LibraryRecord> record) {
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadLib",
           "Commencing Loading Services Library " << record->name);
    void* handle = dlopen(record->path.c_str(), RTLD_LAZY);
    if (handle == nullptr) {
        const char* error = dlerror();
        const std::string errorText = error != nullptr ? error : "";
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "LoadLib",
               "Could not load Services Library " << record->name << ", last error: " << errorText);
        setLoadFailure(record, "could not be opened: " + errorText);
        return false;
    }
    {
        zam::ScopedLock lock(recordsMutex_);
        record->handle = handle;
        record->loadFailure.clear();
    }
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "LoadLib",
           "Completed Loading Services Library " << record->name);
    return true;
}

bool LibraryLoader::acceptsFrameworkVersion(const std::shared_ptr<LibraryRecord>& record,
                                            void* handle) {
    const auto* builtAgainst = static_cast<const FrameworkInterfaceVersion*>(
        dlsym(handle, frameworkVersionSymbol(record->name).c_str()));
    if (builtAgainst == nullptr) {
        // Written without the helpers: nothing to check, loaded as it always was.
        return true;
    }
    const FrameworkInterfaceVersion ours = frameworkInterfaceVersion();
    const std::string theirs = frameworkVersionText(*builtAgainst);
    {
        zam::ScopedLock lock(recordsMutex_);
        record->frameworkVersion = theirs;
    }
    if (isCompatibleFrameworkVersion(*builtAgainst, ours)) {
        return true;
    }
    // Its classes may be laid out differently from ours: calling into it could do anything.
    const std::string reason = "was built against framework interface version " + theirs +
                               ", but this framework has interface version " +
                               frameworkVersionText(ours);
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "InjectLibrary",
           "Refusing Services Library " << record->name << ": it " << reason);
    setLoadFailure(record, reason);
    return false;
}

void LibraryLoader::InjectLibrary(std::shared_ptr<LibraryRecord> record) {
    void* handle = nullptr;
    {
        zam::ScopedLock lock(recordsMutex_);
        handle = record->handle;
    }
    if (!acceptsFrameworkVersion(record, handle)) {
        return;
    }
    const std::string symbol = "Inject" + record->name;
    auto inject = reinterpret_cast<InjectFunction>(dlsym(handle, symbol.c_str()));
    if (inject == nullptr) {
        // Silent in the log as it always was; the record keeps the reason for hosts that ask.
        setLoadFailure(record, "has no injection entry " + symbol);
        return;
    }
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "InjectLibrary",
           "Commencing Injection for " << record->name);
    // A faulty library must not take the host's pump, or the thread waiting for the load, down
    // with it: the failure is reported and the load simply finds nothing more.
    try {
        inject(factory_);
    } catch (const std::exception& error) {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "InjectLibrary",
               "Injection failed for " << record->name << ": " << error.what());
        setLoadFailure(record, "threw from its injection entry " + symbol + ": " + error.what());
        return;
    } catch (...) {
        SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_ERROR, kSourcePath, "InjectLibrary",
               "Injection failed for " << record->name << ": unknown exception");
        setLoadFailure(record, "threw from its injection entry " + symbol + ": unknown exception");
        return;
    }
    SF_LOG(detail::libraryLoaderLogger, ZAMLOG_LEVEL_INFO, kSourcePath, "InjectLibrary",
           "Completed Injection for " << record->name);
}

}  // namespace ZAMUnified
