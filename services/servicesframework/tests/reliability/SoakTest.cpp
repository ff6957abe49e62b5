// A bounded soak of the framework under concurrent load: worker threads ask the factory for
// services by name and id while their libraries are not yet loaded (so every load goes through
// enqueueBlock while the host pumps), enqueue work on the services dispatcher and on the
// background dispatcher, create and observe business objects and count objects in the resource
// monitor; meanwhile the host pumps and, now and then, resets and re-initialises the factory.
// (Secure strings under concurrent use are SecureStringTest.ConcurrentReadersOfOneValue's.) It
// checks that every thread finishes before a deadline, that every task runs exactly once, and that
// each library is injected once per Init().
//
// SF_SOAK_SECONDS sets how long the workers run (default 3).
#include <KORCoreUtils.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedBusinessObjectObserver.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <thread>

#include "support/Deadline.h"
#include "support/LogCapture.h"
#include "support/PluginFolder.h"

namespace {

using namespace ZAMUnified;
using Clock = std::chrono::steady_clock;

struct Library {
    const char* name;     // record name, as the loader logs it
    const char* file;     // the built library behind it
    const char* mangled;  // a service it provides
    unsigned int id;      // that service's id
};

// One library from a manifest and two built-in records (their files linked into the lib folder).
const Library kLibraries[] = {
    {"TestServices", SF_TEST_PLUGIN_DIR "/libTestServices.so", "N10ZAMUnified16TestAlphaServiceE",
     7001},
    {"ConfigService", SF_TEST_PLUGIN_DIR "/libTestConfigStandIn.so",
     "N10ZAMUnified13ConfigServiceE", 1300},
    {"HelloWorldService", SF_HELLOWORLD_LIBRARY, "N10ZAMUnified17HelloWorldServiceE", 42876},
};

struct CountingObserver : UnifiedBusinessObjectObserver {
    void OnInfoChanged() override { ++calls; }
    int calls = 0;
};

struct SoakObject : UnifiedBusinessObjectImpl {
    explicit SoakObject(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), true, "SoakObject") {}
    void initNotifiers() override {}
};

// Tasks carry an index into one counter table, so a task that ran twice or never shows up.
class TaskLedger {
  public:
    // A new task that counts its runs; empty once the table is full (the worker then stops
    // adding).
    std::function<void()> task() {
        const std::size_t index = next_.fetch_add(1);
        return index < runs_.size() ? [this, index] { runs_[index].fetch_add(1); }
                                    : std::function<void()>();
    }
    std::size_t issued() const { return std::min(next_.load(), runs_.size()); }
    std::size_t countRuns(int times) const {
        return static_cast<std::size_t>(
            std::count_if(runs_.begin(), runs_.begin() + static_cast<std::ptrdiff_t>(issued()),
                          [times](const std::atomic<int>& runs) { return runs.load() == times; }));
    }

  private:
    std::vector<std::atomic<int>> runs_ = std::vector<std::atomic<int>>(1u << 20);
    std::atomic<std::size_t> next_{0};
};

TEST(SoakTest, ConcurrentLoadsTasksObjectsAndResetsKeepEveryPromise) {
    // Built-in records look in <resources>/../lib.
    const sftest::PluginFolder folder;
    ASSERT_FALSE(folder.root().empty());
    std::filesystem::create_directories(folder.root() / "resources");
    setenv("ZAM_RESOURCES_DIR", (folder.root() / "resources").c_str(), 1);
    folder.add("lib", "", kLibraries[1].file, "ConfigService");
    folder.add("lib", "", kLibraries[2].file, "HelloWorldService");
    const std::string plugins =
        folder.add("plugins",
                   "<library><name>TestServices</name><path>TestServices</path><services>"
                   "<service name='ZAMUnified::TestAlphaService' id='7001'/></services></library>",
                   kLibraries[0].file, "TestServices");
    // Its info records name each injection.
    sftest::LogCapture log({"library-loader"});
    const auto factory = std::make_shared<UnifiedFactory>();
    auto initFactory = [&] {
        factory->Init();
        factory->getLibraryLoader()->LoadLibraryManifest(plugins);
    };
    const auto dispatcher = factory->getServicesDispatcher();
    const auto background = factory->getBackgroundDispatcher();
    initFactory();

    TaskLedger dispatcherTasks, backgroundTasks;
    // Held shared by workers around plain enqueues and monitor counting, exclusively by the host
    // while it drains the queue, checks the monitor and resets: so no plain task is dropped by a
    // reset, and the monitor's counts are compared at a quiet moment.
    std::shared_mutex resetGate;
    // Set while the host waits for the gate: workers hold back, so the host is not starved.
    std::atomic<bool> resetPending{false};
    auto enterGate = [&] {
        while (resetPending.load()) {
            std::this_thread::yield();
        }
        return std::shared_lock<std::shared_mutex>(resetGate);
    };
    std::atomic<long> monitorIncrements{0};
    std::atomic<bool> stop{false};
    std::atomic<int> running{6};  // workers
    // Observers not called exactly once for one change while registered; GUIDs empty or handed
    // out twice.
    std::mutex guidsMutex;  // guards guids and objectFaults
    std::set<std::string> guids;
    int objectFaults = 0;

    std::vector<std::thread> workers;
    for (unsigned int w = 0; w < 6; ++w) {
        workers.emplace_back([&, step = w]() mutable {
            while (!stop.load()) {
                ++step;
                const Library& library = kLibraries[(step / 6) % 3];
                if (step % 6 <= 1) {
                    // Found unless a reset came between the load and the look-up.
                    (void)((step / 18) % 2 != 0 ? factory->getService(library.mangled)
                                                : factory->getService(library.id));
                } else if (step % 6 == 2) {
                    auto gate = enterGate();
                    if (auto task = dispatcherTasks.task()) {
                        dispatcher->enqueue(task, "Soak-Dispatcher", (step & 4) != 0, false);
                    }
                    if (auto task = backgroundTasks.task()) {
                        background->enqueue(task, "Soak-Background");
                    }
                } else if (step % 6 == 3) {
                    auto object = std::make_shared<SoakObject>(factory);
                    auto observer = std::make_shared<CountingObserver>();
                    object->addObserver(observer);
                    object->fireOnInfoChanged();
                    object->removeObserver(observer);
                    object->fireOnInfoChanged();
                    const std::string guid = object->getGuid();
                    std::lock_guard<std::mutex> lock(guidsMutex);
                    objectFaults +=
                        observer->calls != 1 || guid.empty() || !guids.insert(guid).second;
                } else {
                    auto gate = enterGate();
                    if (auto monitor = factory->getResourceMonitor()) {
                        monitor->incrementObjectCount("SoakObject");
                        ++monitorIncrements;
                        monitor->decrementObjectCount("SoakObject");
                    }
                }
            }
            --running;
        });
    }

    // The host: pumps; every so often drains, checks and resets. Injections are counted per
    // Init() from the loader's records, so an injection that lands after a reset is seen.
    const char* seconds = std::getenv("SF_SOAK_SECONDS");
    const auto duration =
        std::chrono::seconds(seconds != nullptr ? KORCoreUtils::toUnsignedInt(seconds, 3u) : 3u);
    const Clock::time_point start = Clock::now();
    Clock::time_point nextReset = start + std::chrono::milliseconds(40);
    int resets = 0, loadsHandedToTheHost = 0;
    // On the dispatcher thread each library loads at once if no worker has loaded it yet.
    auto checkCycle = [&] {
        for (const Library& library : kLibraries) {
            EXPECT_TRUE(factory->getService(library.id)) << library.name;
            EXPECT_EQ(1, log.count(std::string("Completed Injection for ") + library.name))
                << library.name << ": injections during one Init() (cycle " << resets << ")";
        }
        loadsHandedToTheHost += log.count("Update access false");
        log.forget();
    };
    while (running.load() > 0 || Clock::now() < start + duration) {
        stop = stop || Clock::now() >= start + duration;
        if (Clock::now() > start + duration + std::chrono::seconds(60)) {
            // Threads still blocked cannot be joined; end the run instead of hanging the suite.
            std::fprintf(stderr, "soak: %d worker threads did not finish before the deadline\n",
                         running.load());
            std::abort();
        }
        dispatcher->waitForDispatcherTask(5);
        dispatcher->pumpAll();
        if (!stop.load() && Clock::now() >= nextReset) {
            resetPending = true;
            std::unique_lock<std::shared_mutex> gate(resetGate);
            resetPending = false;
            dispatcher->pumpAll();
            auto monitor = factory->getResourceMonitor();
            EXPECT_TRUE(monitor) << "an initialised factory has a monitor";
            // A name that was never counted in this Init() has no entry at all.
            const long counted = monitorIncrements.load();
            const auto count = [&](ResourceNS::MapCountType type) {
                return monitor ? monitor->getNumObjectsByObjectName(type, "SoakObject") : -2;
            };
            EXPECT_EQ(std::make_pair(counted == 0 ? -1L : 0L, counted == 0 ? -1L : counted),
                      std::make_pair(long{count(ResourceNS::ObjectsAlive)},
                                     long{count(ResourceNS::ObjectsCreated)}));
            checkCycle();
            factory->Reset();
            initFactory();
            monitorIncrements = 0;
            ++resets;
            nextReset = Clock::now() + std::chrono::milliseconds(40);
        }
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    dispatcher->pumpAll();
    checkCycle();

    ASSERT_TRUE(sftest::eventually([&] { return backgroundTasks.countRuns(0) == 0; }))
        << backgroundTasks.countRuns(0) << " of " << backgroundTasks.issued()
        << " background tasks never ran";
    EXPECT_EQ(dispatcherTasks.issued(), dispatcherTasks.countRuns(1))
        << "dispatcher tasks that did not run exactly once";
    EXPECT_EQ(backgroundTasks.issued(), backgroundTasks.countRuns(1))
        << "background tasks that did not run exactly once";
    EXPECT_GT(resets, 2) << "the soak should reset the factory several times";
    EXPECT_GT(loadsHandedToTheHost, 0) << "workers should have found libraries not yet loaded";
    EXPECT_GT(dispatcherTasks.issued(), 100u) << guids.size() << " business objects";
    EXPECT_EQ(0, objectFaults) << "observers not called once per change, GUIDs empty or not unique";
    factory->Reset();
    unsetenv("ZAM_RESOURCES_DIR");
}

}  // namespace
