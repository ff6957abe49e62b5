#include <zam/PoolWorker.h>
#include <zam/ThreadName.h>

#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <thread>

namespace {

std::string currentName() {
    char buffer[64] = {};
    pthread_getname_np(pthread_self(), buffer, sizeof buffer);
    return buffer;
}

// Runs `steps` on a fresh thread named "before"; each step says what it wants recorded.
std::string onAFreshThread(const std::function<std::string()>& steps) {
    std::string seen;
    std::thread([&] {
        pthread_setname_np(pthread_self(), "before");
        seen = steps();
    }).join();
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
        {"", "before"},                                   // an empty name is ignored
    };
    for (const Case& c : cases) {
        for (auto setter : {&zam::SetThreadName, &zam::ThreadNameSetter::SetCurrentThreadName}) {
            if (c.name.empty() && setter == &zam::SetThreadName) {
                continue;
            }
            EXPECT_EQ(c.expected, onAFreshThread([&] {
                          setter(c.name);
                          return currentName();
                      }))
                << c.name;
        }
    }
}

// A pool worker names itself once for a run of tasks of one name, yet a rename through
// SetThreadName in between (by a task) is undone by the next task of that name. A name longer
// than the worker keeps is given every time, so a rename in between is undone as well.
TEST(ThreadNameTest, WorkerNamesAreSetAgainAfterAnyOtherRename) {
    EXPECT_EQ("Same Same PoolThread Same Sam Looooooooooooo Looooooooooooo ", onAFreshThread([] {
                  std::string seen;
                  auto worker = [&seen](const std::string& name) {
                      zam::setWorkerThreadName(name);
                      seen += currentName() + " ";
                  };
                  worker("Same");
                  zam::SetThreadName("custom");
                  worker("Same");
                  worker("");
                  worker("Same");
                  worker("Sam");  // a prefix of the name kept is another name
                  worker("L" + std::string(80, 'o') + "ng");
                  zam::SetThreadName("custom");
                  worker("L" + std::string(80, 'o') + "ng");
                  return seen;
              }));
}

}  // namespace
