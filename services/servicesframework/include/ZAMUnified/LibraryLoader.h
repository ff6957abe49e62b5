// ZAMUnified::LibraryLoader: brings in service libraries: finds the first record that lists what
// is asked for, opens the library and calls its injection entry with the unified factory.
// Records come from the built-in table (Startup) and from manifests (LoadLibraryManifest).
// Threading: any thread; opening and injection run on the services dispatcher thread, and other
// threads block until the host pumps them. Failure: log records only; nothing throws.
#ifndef ZAMUNIFIED_LIBRARYLOADER_H
#define ZAMUNIFIED_LIBRARYLOADER_H

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <ZAMUnified/LibraryRecord.h>
#include <zam/Mutex.h>

namespace ZAMUnified {

class UnifiedFactory;

// One library record as a host lists it: a copy of the record and what became of it.
struct LibraryStatus {
    enum class State {
        NotLoaded,  // no attempt yet, or the record was never asked for
        Loaded,     // opened and injected without a failure
        Failed,     // the last attempt failed; `reason` says why
    };
    LibraryRecord record;
    State state = State::NotLoaded;
    std::string reason;  // the record's loadFailure; empty unless Failed
};

class LibraryLoader : public std::enable_shared_from_this<LibraryLoader> {
  public:
    explicit LibraryLoader(std::shared_ptr<UnifiedFactory> factory);

    LibraryLoader(const LibraryLoader&) = delete;
    LibraryLoader& operator=(const LibraryLoader&) = delete;

    // Registers the built-in records; reads no file.
    void Startup();
    void LoadManifests();

    // Reads directory/<last component of directory>.xml and appends its record. A manifest that
    // cannot be parsed, or lacks a name or a path, adds nothing and is logged as an error.
    void LoadLibraryManifest(const std::string& directory);
    void ProcessLibraryManifest(const std::string& manifestPath);

    // <resources>/../lib/lib<name>.so, absolute.
    std::string MakeFullPath(std::string name);
    // "Namespace::Class" -> N10<Namespace><length><Class>E; empty (with an error) otherwise.
    std::string MangleName(std::string name);

    // Load the first library that lists the key, unless it is open already (then: debug record
    // only). Off the dispatcher thread they block until the host has pumped the load.
    void LoadService(const std::string& name);
    void LoadService(unsigned int id);
    void LoadFeatureSet(const std::string& name);
    void LoadFeatureSet(unsigned int id);
    void LoadAuthenticator(unsigned int id);
    void LoadAuthenticator(const std::string& name);

    // The first record that lists the id among its services; empty if none.
    std::shared_ptr<LibraryRecord> getLibraryRecord(unsigned int id);
    // A copy of every record in registration order (built-in ones first), taken under the
    // loader's lock, so hosts can list what is known and what is open without racing a load.
    std::vector<LibraryRecord> getLibraryRecords() const;
    // As getLibraryRecords, each with its state: not loaded, loaded, or failed with the reason.
    std::vector<LibraryStatus> getLibraryStatuses() const;

    // What the look-ups search for, for findLibraryStatus.
    enum class ItemKind { Service, FeatureSet, Authenticator };
    // The first record that lists the key, searched exactly as the Load operations search
    // (authenticator names case-blind), with its state; nothing when no record lists the key.
    std::optional<LibraryStatus> findLibraryStatus(ItemKind kind, const std::string& name) const;
    std::optional<LibraryStatus> findLibraryStatus(ItemKind kind, unsigned int id) const;

    // The error texts of every manifest problem logged by this loader (a manifest missing or
    // unparsable, a name not of the form Namespace::Class, a record without name or path), in
    // the order they were logged; the latest 256 are kept. A fresh loader, after a factory's
    // Reset() and Init(), starts with none.
    std::vector<std::string> getManifestProblems() const;

    // Forgets every record. Open libraries stay open; nothing is unregistered.
    void UnloadLibraries();

    // On the dispatcher thread: open and inject unless open; elsewhere: run this there and wait.
    // A load the dispatcher dropped before running it (cleared, or the factory reset) is logged as
    // an error and kept in the record's loadFailure, unless the library is open by then.
    void LoadAndInjectLibrary(std::shared_ptr<LibraryRecord> record);
    // Opens the library (lazy binding); false, with an error record, when it cannot be opened.
    // The record's loadFailure keeps the platform's text until an attempt succeeds.
    bool LoadLib(std::shared_ptr<LibraryRecord> record);
    // Calls "Inject" + name if the library has it. An exception from the entry is logged as an
    // error and goes no further; the library stays open and counts as loaded. A missing entry or
    // an exception is kept in the record's loadFailure. A library that recorded a framework
    // interface version this framework cannot serve (FrameworkVersion.h) is refused before its
    // entry is called: logged as an error, with both versions in its loadFailure.
    void InjectLibrary(std::shared_ptr<LibraryRecord> record);

  private:
    // MakeFullPath with the resources directory already found: the built-in records ask for
    // three paths at once, and finding the directory reads the executable's link each time.
    static std::string libraryPath(const std::string& resourcesDirectory, const std::string& name);

    // Appends under recordsMutex_.
    void addRecord(std::shared_ptr<LibraryRecord> record);
    // The first record satisfying `matches`, searched under recordsMutex_.
    template <typename Predicate>
    std::shared_ptr<LibraryRecord> findRecord(Predicate matches);
    // Finds the record, then logs the miss, logs "already loaded" at debug, or loads.
    template <typename Predicate>
    void findAndLoad(const char* operation, Predicate matches, const char* notFoundPrefix,
                     const char* kind, const std::string& key);
    bool isLoaded(const std::shared_ptr<LibraryRecord>& record) const;
    // Reads the framework version the library recorded into the record; false, with the reason
    // kept, when this framework cannot serve that version.
    bool acceptsFrameworkVersion(const std::shared_ptr<LibraryRecord>& record, void* handle);
    // Sets the record's loadFailure under recordsMutex_.
    void setLoadFailure(const std::shared_ptr<LibraryRecord>& record, std::string failure);
    // Logs a manifest error on behalf of `function` and keeps its text for getManifestProblems.
    void reportManifestProblem(const char* function, const std::string& message);
    // The status of a record; recordsMutex_ must be held.
    static LibraryStatus statusLocked(const LibraryRecord& record);

    std::shared_ptr<UnifiedFactory> factory_;
    std::vector<std::shared_ptr<LibraryRecord>> records_;  // registration order
    std::vector<std::string> manifestProblems_;            // in the order logged
    // Guards records_, manifestProblems_ and every record's handle and loadFailure: manifests may
    // be added, and records searched, on any thread while the dispatcher thread opens libraries.
    mutable zam::Mutex recordsMutex_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_LIBRARYLOADER_H
