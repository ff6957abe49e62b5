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
#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedBusinessObjectObserver.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/Deadline.h"
#include "support/LogCapture.h"

namespace {

using namespace ZAMUnified;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Library {
    const char* name;     // record name, as the loader logs it
    const char* file;     // the built library behind it
    const char* mangled;  // a service it provides
    unsigned int id;      // that service's id
};

// Two built-in records (their files linked into the scratch lib folder) and one from a manifest.
const Library kLibraries[] = {
    {"TestServices", SF_TEST_PLUGIN_DIR "/libTestServices.so", "N10ZAMUnified16TestAlphaServiceE",
     7001},
    {"ConfigService", SF_TEST_PLUGIN_DIR "/libTestConfigStandIn.so",
     "N10ZAMUnified13ConfigServiceE", 1300},
    {"HelloWorldService", SF_HELLOWORLD_LIBRARY, "N10ZAMUnified17HelloWorldServiceE", 42876},
};

std::chrono::milliseconds soakDuration() {
    const char* text = std::getenv("SF_SOAK_SECONDS");
    const unsigned int seconds = text ? KORCoreUtils::toUnsignedInt(text, 3u) : 3u;
    return std::chrono::milliseconds(1000L * seconds);
}

class CountingObserver : public UnifiedBusinessObjectObserver {
  public:
    void OnInfoChanged() override { ++calls; }
    int calls = 0;
};

class SoakObject : public UnifiedBusinessObjectImpl {
  public:
    explicit SoakObject(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), true, "SoakObject") {}
    void initNotifiers() override {}
};

// Tasks carry an index into one counter table, so a task that ran twice or never shows up.
class TaskLedger {
  public:
    explicit TaskLedger(std::size_t capacity) : runs_(capacity) {}
    // An index for a new task; false once the table is full (the worker then stops adding).
    bool reserve(std::size_t& index) {
        index = next_.fetch_add(1);
        return index < runs_.size();
    }
    void ran(std::size_t index) { runs_[index].fetch_add(1); }
    std::size_t issued() const { return std::min(next_.load(), runs_.size()); }
    std::size_t countRuns(int times) const {
        std::size_t count = 0;
        for (std::size_t i = 0; i < issued(); ++i) {
            count += runs_[i].load() == times ? 1 : 0;
        }
        return count;
    }

  private:
    std::vector<std::atomic<int>> runs_;
    std::atomic<std::size_t> next_{0};
};

class SoakTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/sf-soak-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        root_ = pattern;
        fs::create_directories(root_ + "/resources");
        fs::create_directories(root_ + "/lib");
        fs::create_directories(root_ + "/plugins");
        // Built-in records look in <resources>/../lib.
        setenv("ZAM_RESOURCES_DIR", (root_ + "/resources").c_str(), 1);
        fs::create_symlink(kLibraries[1].file, root_ + "/lib/libConfigService.so");
        fs::create_symlink(kLibraries[2].file, root_ + "/lib/libHelloWorldService.so");
        fs::create_symlink(kLibraries[0].file, root_ + "/plugins/libTestServices.so");
        std::ofstream(root_ + "/plugins/plugins.xml")
            << "<library><name>TestServices</name><path>TestServices</path><services>"
               "<service name='ZAMUnified::TestAlphaService' id='7001'/></services></library>";
    }
    void TearDown() override {
        unsetenv("ZAM_RESOURCES_DIR");
        fs::remove_all(root_);
    }

    void initFactory() {
        factory_->Init();
        factory_->getLibraryLoader()->LoadLibraryManifest(root_ + "/plugins");
    }

    std::string root_;
    std::shared_ptr<UnifiedFactory> factory_ = std::make_shared<UnifiedFactory>();
};

TEST_F(SoakTest, ConcurrentLoadsTasksObjectsAndResetsKeepEveryPromise) {
    // Its info records name each injection.
    sftest::LogCapture log({"library-loader"});
    const std::chrono::milliseconds duration = soakDuration();
    const auto dispatcher = factory_->getServicesDispatcher();
    const auto background = factory_->getBackgroundDispatcher();
    initFactory();

    TaskLedger dispatcherTasks(1u << 20);
    TaskLedger backgroundTasks(1u << 20);
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
    std::atomic<int> running{0};
    std::mutex failuresMutex;
    std::vector<std::string> failures;  // worker-side findings, reported by the host
    auto fail = [&](const std::string& what) {
        std::lock_guard<std::mutex> lock(failuresMutex);
        if (failures.size() < 20) {
            failures.push_back(what);
        }
    };
    std::mutex guidsMutex;
    std::set<std::string> guids;

    const int kWorkers = 6;
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        ++running;
        workers.emplace_back([&, w] {
            unsigned int step = static_cast<unsigned int>(w);
            while (!stop.load()) {
                ++step;
                const Library& library = kLibraries[(step / 6) % 3];
                switch (step % 6) {
                    case 0:
                    case 1: {
                        // Found unless a reset came between the load and the look-up.
                        auto service = (step / 18) % 2 != 0 ? factory_->getService(library.mangled)
                                                            : factory_->getService(library.id);
                        (void)service;
                        break;
                    }
                    case 2: {
                        auto gate = enterGate();
                        std::size_t index = 0;
                        if (dispatcherTasks.reserve(index)) {
                            dispatcher->enqueue(
                                [&dispatcherTasks, index] { dispatcherTasks.ran(index); },
                                "Soak-Dispatcher", (step & 4) != 0, false);
                        }
                        if (backgroundTasks.reserve(index)) {
                            background->enqueue(
                                [&backgroundTasks, index] { backgroundTasks.ran(index); },
                                "Soak-Background");
                        }
                        break;
                    }
                    case 3: {
                        auto object = std::make_shared<SoakObject>(factory_);
                        auto observer = std::make_shared<CountingObserver>();
                        object->addObserver(observer);
                        object->fireOnInfoChanged();
                        object->removeObserver(observer);
                        object->fireOnInfoChanged();
                        if (observer->calls != 1) {
                            fail("an observer was called " + std::to_string(observer->calls) +
                                 " times for one change while registered");
                        }
                        const std::string guid = object->getGuid();
                        std::lock_guard<std::mutex> lock(guidsMutex);
                        if (guid.empty() || !guids.insert(guid).second) {
                            fail("GUID \"" + guid + "\" was handed out twice or is empty");
                        }
                        break;
                    }
                    default: {
                        auto gate = enterGate();
                        if (auto monitor = factory_->getResourceMonitor()) {
                            monitor->incrementObjectCount("SoakObject");
                            ++monitorIncrements;
                            monitor->decrementObjectCount("SoakObject");
                        }
                        break;
                    }
                }
            }
            --running;
        });
    }

    // The host: pumps; every so often drains, checks and resets. Injections are counted per
    // Init() from the loader's records, so an injection that lands after a reset is seen.
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + duration + std::chrono::seconds(60);
    Clock::time_point nextReset = start + std::chrono::milliseconds(40);
    int resets = 0;
    int loadsHandedToTheHost = 0;
    auto checkCycle = [&] {
        loadsHandedToTheHost += log.count("Update access false");
        for (const Library& library : kLibraries) {
            const int injected = log.count(std::string("Completed Injection for ") + library.name);
            EXPECT_EQ(1, injected) << library.name << " injected " << injected
                                   << " times during one Init() (cycle " << resets << ")";
        }
        log.forget();
    };
    while (running.load() > 0 || Clock::now() < start + duration) {
        if (Clock::now() >= start + duration) {
            stop = true;
        }
        if (Clock::now() > deadline) {
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
            auto monitor = factory_->getResourceMonitor();
            EXPECT_TRUE(monitor) << "an initialised factory has a monitor";
            if (monitor) {
                // A name that was never counted in this Init() has no entry at all.
                const long counted = monitorIncrements.load();
                EXPECT_EQ(counted == 0 ? -1 : 0, monitor->getNumObjectsByObjectName(
                                                     ResourceNS::ObjectsAlive, "SoakObject"));
                EXPECT_EQ(
                    counted == 0 ? -1 : counted,
                    monitor->getNumObjectsByObjectName(ResourceNS::ObjectsCreated, "SoakObject"));
            }
            // On the dispatcher thread each of these loads at once if no worker has yet.
            for (const Library& library : kLibraries) {
                EXPECT_TRUE(factory_->getService(library.id)) << library.name;
            }
            checkCycle();
            factory_->Reset();
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
    for (const Library& library : kLibraries) {
        EXPECT_TRUE(factory_->getService(library.id)) << library.name;
    }
    checkCycle();

    ASSERT_TRUE(sftest::eventually([&] { return backgroundTasks.countRuns(0) == 0; }))
        << backgroundTasks.countRuns(0) << " of " << backgroundTasks.issued()
        << " background tasks never ran";
    EXPECT_EQ(dispatcherTasks.issued(), dispatcherTasks.countRuns(1))
        << "dispatcher tasks that did not run exactly once";
    EXPECT_EQ(backgroundTasks.issued(), backgroundTasks.countRuns(1))
        << "background tasks that did not run exactly once";
    std::printf(
        "soak: %d resets, %d loads handed to the host, %zu dispatcher and %zu background "
        "tasks, %zu business objects\n",
        resets, loadsHandedToTheHost, dispatcherTasks.issued(), backgroundTasks.issued(),
        guids.size());
    EXPECT_GT(resets, 2) << "the soak should reset the factory several times";
    EXPECT_GT(loadsHandedToTheHost, 0) << "workers should have found libraries not yet loaded";
    EXPECT_GT(dispatcherTasks.issued(), 100u);
    EXPECT_EQ(std::vector<std::string>(), failures);
    factory_->Reset();
}

}  // namespace
