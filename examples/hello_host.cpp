// A small host: worker threads hand tasks to the main thread through a task queue, one of them
// waiting for its task to finish, and the main thread runs them in order. It shows the pieces
// every host loop of the framework is made of: tasks, the queue, events and blocking tasks.
#include <ServicesFramework.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

TaskPtr makeTask(const std::string& name, int& counter) {
    return std::make_shared<KORCoreUtils::FunctionTask>(
        [name, &counter] {
            ++counter;
            std::printf("  ran %-22s on the host thread\n", name.c_str());
        },
        name);
}

}  // namespace

int main() {
    zam::ThreadNameSetter::SetCurrentThreadName("hello-host");
    ZAMUnified::Processing::TaskQueue queue;
    int ran = 0;  // only the host thread touches it

    std::printf("Two workers enqueue tasks; the host runs them.\n");
    std::vector<std::thread> workers;
    for (int worker = 1; worker <= 2; ++worker) {
        workers.emplace_back([&queue, &ran, worker] {
            zam::SetThreadName("hello-worker-" + std::to_string(worker));
            for (int i = 1; i <= 2; ++i) {
                queue.enqueueTask(
                    makeTask("worker" + std::to_string(worker) + "-task" + std::to_string(i), ran),
                    false);
            }
        });
    }

    // A blocking task: the worker waits until the host has run it.
    auto blocking = std::make_shared<zam::BlockingTask>(makeTask("blocking", ran));
    std::thread waiter([&queue, blocking] {
        queue.enqueueUrgentTask(blocking);
        blocking->getDoneEvent().wait();
        std::printf("  the waiting worker was released after %s\n", blocking->name().c_str());
    });

    int expected = 5;
    while (expected > 0) {
        TaskPtr task = queue.waitDequeueTask(1000);
        if (!task) {
            std::printf("no task arrived within a second\n");
            break;
        }
        task->execute();
        --expected;
    }
    for (auto& worker : workers) {
        worker.join();
    }
    waiter.join();

    try {
        throw ZAMUnified::DispatcherAccessExceptionImpl("the greeting");
    } catch (ZAMUnified::UnifiedException& refused) {
        std::printf("A refused update reads: %s\n", refused.getMessage().c_str());
    }
    std::printf("%d tasks ran.\n", ran);
    return ran == 5 ? 0 : 1;
}
