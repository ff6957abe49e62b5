#include <zam/PoolWorker.h>
#include <zam/ThreadName.h>

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Names a fresh thread and reads back what the operating system shows for it.
std::string nameSeenByTheSystem(void (*setter)(const std::string&), const std::string& name) {
    std::string seen;
    std::thread thread([&] {
        pthread_setname_np(pthread_self(), "before");
        setter(name);
        char buffer[64] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        seen = buffer;
    });
    thread.join();
    return seen;
}

TEST(ThreadNameTest, NamesUpToFifteenCharactersAreUsedWholeLongerOnesCutToFourteen) {
    struct Case {
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {"worker", "worker"},
        {"fifteen-chars-x", "fifteen-chars-x"},           // 15
        {"sixteen-chars-xy", "sixteen-chars-"},           // 16 -> 14
        {"a-much-longer-thread-name", "a-much-longer-"},  // 25 -> 14
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, nameSeenByTheSystem(&zam::SetThreadName, c.name)) << c.name;
        EXPECT_EQ(c.expected,
                  nameSeenByTheSystem(&zam::ThreadNameSetter::SetCurrentThreadName, c.name))
            << c.name;
    }
    EXPECT_EQ("before", nameSeenByTheSystem(&zam::ThreadNameSetter::SetCurrentThreadName, ""))
        << "an empty name is ignored";
}

// A pool worker names itself once for a run of tasks of one name, yet a rename through
// SetThreadName in between (by a task) is undone by the next task of that name.
TEST(ThreadNameTest, WorkerNamesAreSetAgainAfterAnyOtherRename) {
    std::vector<std::string> seen;
    std::thread thread([&] {
        auto current = [] {
            char buffer[64] = {};
            pthread_getname_np(pthread_self(), buffer, sizeof buffer);
            return std::string(buffer);
        };
        zam::setWorkerThreadName("Same");
        seen.push_back(current());
        zam::SetThreadName("custom");
        zam::setWorkerThreadName("Same");
        seen.push_back(current());
        zam::setWorkerThreadName("");
        seen.push_back(current());
        zam::setWorkerThreadName("Same");
        seen.push_back(current());
        zam::setWorkerThreadName("Sam");  // a prefix of the name kept is another name
        seen.push_back(current());
        // A name longer than the worker keeps is given every time, so a rename in between is
        // undone as well.
        const std::string longName = "L" + std::string(80, 'o') + "ng";
        zam::setWorkerThreadName(longName);
        const std::string cut = current();
        zam::SetThreadName("custom");
        zam::setWorkerThreadName(longName);
        seen.push_back(current() == cut ? "long again" : current());
    });
    thread.join();
    EXPECT_EQ((std::vector<std::string>{"Same", "Same", "PoolThread", "Same", "Sam", "long again"}),
              seen);
}

}  // namespace
