// ZAMUnified::ResourceMonitor: counts objects by name, the live count and the number ever
// created, and the same two figures for a capture window (a snapshot). The unified factory makes
// one in Init() and drops it in Reset(); services reach it through getResourceMonitor().
//
// Threading: counting and snapshot control from any thread; the three queries on the dispatcher
// thread only. All are serialised by the monitor's mutex.
// Failure: a query off the dispatcher thread throws DispatcherAccessExceptionImpl (empty name);
// a type that is not 0 to 3 gives -2 or "Invalid Option".
#ifndef ZAMUNIFIED_RESOURCEMONITOR_H
#define ZAMUNIFIED_RESOURCEMONITOR_H

#include <map>
#include <memory>
#include <string>

#include <zam/Mutex.h>

namespace ZAMUnified {

class UnifiedFactory;

namespace ResourceNS {

// Selects a count map. Note the order: 0 is the created map and 1 the live one, while for the
// snapshot maps the live one comes first. The underlying type is fixed, so that any int a caller
// passes is a value of the type (and is answered as invalid when it is not 0 to 3).
enum MapCountType : int {
    ObjectsCreated = 0,
    ObjectsAlive = 1,
    SnapshotAlive = 2,
    SnapshotCreated = 3,
};

}  // namespace ResourceNS

class ResourceMonitor {
  public:
    // Holds the factory strongly; the factory's Reset() breaks the cycle by dropping the monitor.
    explicit ResourceMonitor(std::shared_ptr<UnifiedFactory> factory);
    ~ResourceMonitor();

    ResourceMonitor(const ResourceMonitor&) = delete;
    ResourceMonitor& operator=(const ResourceMonitor&) = delete;

    // A name enters a map at 0 the first time it is counted there, so decrementing a name never
    // incremented leaves it at -1. Created counts never go down.
    void incrementObjectCount(std::string name);
    void decrementObjectCount(std::string name);

    // Empties both snapshot maps and starts counting into them (again, when already capturing).
    void startSnapshotCapture();
    // Stops counting into the snapshot maps; their figures stay readable until the next start.
    void endSnapshotCapture();

    // The sum of the selected map's counts, added up in 64 bits; -2 for an unknown type.
    long getNumObjects(ResourceNS::MapCountType type);
    // The selected map's count for the name (narrowed to int); -1 when the map has no entry for
    // it (the query creates none); -2 for an unknown type.
    int getNumObjectsByObjectName(ResourceNS::MapCountType type, std::string name);
    // One "<name>: <count>\n" line per entry in name order; "Invalid Option" for an unknown type.
    std::string buildString(ResourceNS::MapCountType type);

    typedef std::map<std::string, long> CountMap;

    // The same three figures for a given map, without any check or lock.
    static std::string buildString(const CountMap& counts);
    static long getNumObjects(const CountMap& counts);
    static int getNumObjectsByObjectName(const CountMap& counts, std::string& name);

  private:
    // The map a type selects, or null for an unknown type. Caller holds mutex_.
    const CountMap* selectLocked(ResourceNS::MapCountType type) const;
    // Refuses every thread but the dispatcher thread.
    void ensureDispatcherThread();

    CountMap liveCounts_;             // guarded by mutex_
    CountMap createdCounts_;          // guarded by mutex_
    CountMap snapshotLiveCounts_;     // guarded by mutex_
    CountMap snapshotCreatedCounts_;  // guarded by mutex_
    bool capturing_ = false;          // guarded by mutex_
    zam::Mutex mutex_;
    std::shared_ptr<UnifiedFactory> factory_;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_RESOURCEMONITOR_H
