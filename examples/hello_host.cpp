// A small host: it owns the dispatcher thread and pumps the services dispatcher, while worker
// threads hand it work, one of them waiting until its task has run, and a background task is
// refused when it tries to change state off the dispatcher thread. These are the pieces every host
// loop of the framework is made of.
#include <ServicesFramework.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

int main() {
    zam::ThreadNameSetter::SetCurrentThreadName("hello-host");
    // Constructed here, so this thread is the dispatcher thread.
    ZAMUnified::ServicesDispatcher dispatcher;
    int ran = 0;  // service state: only the dispatcher thread touches it

    auto work = [&dispatcher, &ran](const std::string& name) {
        return [&dispatcher, &ran, name] {
            dispatcher.ensureUpdateAccess(name);
            ++ran;
            std::printf("  ran %-22s on the dispatcher thread\n", name.c_str());
        };
    };

    std::printf("Two workers enqueue tasks; the host pumps them.\n");
    std::vector<std::thread> workers;
    for (int worker = 1; worker <= 2; ++worker) {
        workers.emplace_back([&dispatcher, &work, worker] {
            zam::SetThreadName("hello-worker-" + std::to_string(worker));
            for (int i = 1; i <= 2; ++i) {
                const std::string name =
                    "worker" + std::to_string(worker) + "-task" + std::to_string(i);
                dispatcher.enqueue(work(name), name, false, true);
            }
        });
    }
    std::atomic<bool> blockingReturned{false};
    workers.emplace_back([&] {
        dispatcher.enqueueBlock(work("blocking"), "blocking", true, true);
        blockingReturned = true;
    });

    // A background task may compute, but not change service state.
    ZAMUnified::Processing::TaskDispatcher background("hello-bg", 1, 10);
    background.enqueueBlock(
        [&dispatcher] {
            try {
                dispatcher.ensureUpdateAccess("the greeting");
            } catch (ZAMUnified::UnifiedException& refused) {
                std::printf("A background update is refused: %s\n", refused.getMessage().c_str());
            }
        },
        "background-update");

    // The host loop: wait for work, pump it, until everything has run.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((ran < 5 || !blockingReturned) && std::chrono::steady_clock::now() < deadline) {
        dispatcher.waitForDispatcherTask(100);
        dispatcher.pumpAll();
    }
    for (auto& worker : workers) {
        worker.join();
    }
    std::printf("%d tasks ran; the waiting worker was released: %s.\n", ran,
                blockingReturned ? "yes" : "no");
    return ran == 5 && blockingReturned ? 0 : 1;
}
