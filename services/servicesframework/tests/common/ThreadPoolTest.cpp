// Tasks, the pool that runs them on its threads, and the names those threads carry.
#include <zam/ThreadPool.h>

#include <ZAMUnified/FunctorTask.h>
#include <zam/BlockingTask.h>
#include <zam/PoolWorker.h>
#include <zam/ThreadName.h>

#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "common/TestTasks.h"

namespace probe::inner {

struct UnnamedTask : zam::Task {
    void execute() override {}
};
template <typename T>
struct TemplateTask : UnnamedTask {};

}  // namespace probe::inner

namespace {

using namespace sftest;

// One thread held at a gate while tasks queue in both queues: the statistics show every figure,
// urgent tasks run first in the order they came, and a throwing task counts as run. A blocking
// enqueue returns after a pool thread ran the task, so "last" is in the order.
TEST(ThreadPoolTest, UrgentTasksRunFirstAndTheStatisticsCountOnlyWhatRan) {
    HeldTasks held;
    // Written on the one pool thread, read after a blocking enqueue.
    std::vector<std::string> order;
    std::atomic<std::uint64_t> lastRanOn{0};
    auto recording = [&](const std::string& name) {
        return task([&, name] {
            order.push_back(name);
            lastRanOn = threadId();
            if (name == "n3") {
                throw std::runtime_error("counted all the same");
            }
        });
    };
    zam::ThreadPool pool(1, 1, "urgent", 60);
    EXPECT_EQ("alive 1, busy 0, urgent 0, normal 0, run 0", describe(pool.getStatistics()));
    pool.enqueue(held.make(), false, false);
    ASSERT_TRUE(started(held, 1));
    for (const std::string name : {"n1", "n2", "n3", "u1", "u2"}) {
        pool.enqueue(recording(name), false, name[0] == 'u');
    }
    EXPECT_EQ(5u, pool.queueSize()) << "both queues count";
    // The thread waits at the gate, so nothing can have moved.
    EXPECT_EQ("alive 1, busy 1, urgent 2, normal 3, run 0", describe(pool.getStatistics()));
    held.open();
    pool.enqueue(recording("last"), true, false);
    EXPECT_EQ((std::vector<std::string>{"u1", "u2", "n1", "n2", "n3", "last"}), order);
    EXPECT_NE(threadId(), lastRanOn.load());
    EXPECT_TRUE(eventually([&] {
        return describe(pool.getStatistics()) == "alive 1, busy 0, urgent 0, normal 0, run 7";
    })) << describe(pool.getStatistics());
}

// A pool starts its minimum, grows on demand up to its maximum and queues beyond it; idle threads
// above the minimum end after the idle time (none when the minimum equals the maximum). The
// shrinking stress test shows a pool with no minimum emptying and starting a thread again.
TEST(ThreadPoolTest, GrowsOnDemandUpToTheMaximumAndShrinksToTheMinimumWhenIdle) {
    HeldTasks held;
    zam::ThreadPool pool(2, 4, "grow", 1);
    zam::ThreadPool fixed(2, 2, "fixed", 1);
    EXPECT_EQ(2u, pool.threadCount());
    for (int i = 1; i <= 4; ++i) {
        pool.enqueue(held.make(), false, false);
        ASSERT_TRUE(started(held, i));
        EXPECT_EQ(static_cast<unsigned>(std::max(i, 2)), pool.threadCount());
        ASSERT_TRUE(eventually([&] { return pool.busyCount() == unsigned(i); }));
    }
    pool.enqueue(held.make(), false, false);
    EXPECT_EQ("alive 4, busy 4, urgent 0, normal 1, run 0", describe(pool.getStatistics()))
        << "the maximum holds";
    EXPECT_EQ(4, held.started.load());
    fixed.enqueue(held.make(), false, false);
    fixed.enqueue(held.make(), false, false);
    ASSERT_TRUE(started(held, 6));
    held.open();
    EXPECT_TRUE(eventually([&] { return held.finished.load() == 7; }));
    EXPECT_EQ(0u, pool.queueSize());
    EXPECT_TRUE(eventually([&] { return pool.threadCount() == 2; }));
    EXPECT_EQ(2u, fixed.threadCount()) << "idle as long, but the minimum equals the maximum";
    zam::ThreadPool capped(5, 2, "capped", 60);
    EXPECT_EQ(2u, capped.threadCount()) << "a minimum above the maximum starts the maximum";
}

// A blocking enqueue made on one of the pool's own threads while no other thread can take the task
// (every one busy, the pool at its maximum) used to wait forever for a thread that only it could
// have freed; the factory's background dispatcher of four threads met it with all four asking at
// once. The task runs on the calling thread instead. Here every thread asks at once and stays busy
// until every inner task has run, so each inner task can only run on the thread that asked.
TEST(ThreadPoolTest, ABlockingEnqueueFromAPoolThreadWithNoThreadFreeRunsTheTaskThere) {
    for (auto [minThreads, maxThreads] : {std::pair{1u, 1u}, {0u, 2u}, {4u, 4u}}) {
        SCOPED_TRACE(testing::Message() << minThreads << " to " << maxThreads << " threads");
        const int threads = static_cast<int>(maxThreads);
        zam::Event allBusy(false), release(false);
        std::atomic<int> outerStarted{0}, innerOnItsCaller{0}, outerDone{0};
        {
            zam::ThreadPool pool(minThreads, maxThreads, "own", 60);
            auto outer = [&] {
                ++outerStarted;
                allBusy.wait();
                const std::uint64_t caller = threadId();
                auto inner = [&, caller] { innerOnItsCaller += threadId() == caller; };
                pool.enqueue(task(inner), true, false);
                release.wait();
                ++outerDone;
            };
            for (int i = 1; i <= threads; ++i) {  // one at a time, so that the pool grows
                pool.enqueue(task(outer), false, false);
                ASSERT_TRUE(eventually([&] { return outerStarted.load() == i; }));
            }
            allBusy.set();
            EXPECT_TRUE(eventually([&] { return innerOnItsCaller.load() == threads; }));
            release.set();
        }  // destroying the pool drops queued inner tasks and so releases outer ones still waiting
        ASSERT_TRUE(eventually([&] { return outerDone.load() == threads; }));
        EXPECT_EQ(threads, innerOnItsCaller.load());
    }
}

// A pool that shrinks to no thread while tasks keep coming. An enqueue that read the counts after
// the leaving thread's last look at the queue but before its exit took that thread for an idle
// one, only signalled it, and left the task queued with no thread to run it until the next
// enqueue. With no idle time the thread leaves after every task. Even rounds learn how long after
// its task it leaves; odd rounds enqueue just before that moment, a little earlier each time, so
// the enqueue meets the thread on its way out. Every task must run without another enqueue.
TEST(ThreadPoolTest, StressAPoolShrinkingToNoThreadNeverStrandsATask) {
    using Clock = std::chrono::steady_clock;
    constexpr int kRounds = 10000;
    // Held by the tasks, which may outlive the test when a round fails.
    auto ran = std::make_shared<std::atomic<int>>(0);
    zam::ThreadPool pool(0, 1, "shrinking", 0);
    ASSERT_EQ(0u, pool.threadCount());
    Clock::duration leavesAfter{0};
    // Watched by spinning, which sees the moment at once (a sleep would put the next enqueue long
    // after the exit); past a while the watcher yields, in case it holds the core the pool's
    // thread waits for.
    auto spinSince = [](Clock::time_point since) {
        if (Clock::now() - since > std::chrono::microseconds(200)) {
            std::this_thread::yield();
        }
    };
    auto next = [ran] { return task([ran] { ran->fetch_add(1, std::memory_order_release); }); };
    TaskPtr ready = next();  // made before the aim, so that the enqueue itself is quick
    for (int round = 0; round < kRounds; ++round) {
        const Clock::time_point enqueuedAt = Clock::now();
        pool.enqueue(std::move(ready), false, false);
        ready = next();
        const auto deadline = enqueuedAt + kDeadline;
        while (ran->load(std::memory_order_acquire) != round + 1) {
            ASSERT_LT(Clock::now(), deadline) << "round " << round << ": the task was stranded";
            spinSince(enqueuedAt);
        }
        const Clock::time_point ranAt = Clock::now();
        if (round % 2 == 0) {
            while (pool.threadCount() != 0 && Clock::now() < deadline) {
                spinSince(ranAt);
            }
            leavesAfter = Clock::now() - ranAt;
            ASSERT_EQ(0u, pool.threadCount()) << "round " << round << ": the thread stayed";
        } else {
            const auto aim = ranAt + leavesAfter - std::chrono::nanoseconds(round % 64 * 20);
            while (Clock::now() < aim) {
            }
        }
    }
}

// enqueueAndWait says whether the task ran: on a pool thread, on the calling thread (a pool thread
// with none free), or not at all (a null task, or dropped by clearQueue or by the pool's end, from
// either queue, which releases the waiter and is never counted as run). A throwing task is
// reported, counts as run and releases its waiter, and its thread serves on; a null one is ignored
// with one line. The pool's end drops the queue but lets the running task finish in its own time.
TEST(ThreadPoolTest, EnqueueAndWaitSaysWhetherTheTaskRanAndFailuresAreReported_NEGATIVE) {
    std::atomic<int> ran{0};
    auto counted = [&] { return task([&] { ++ran; }); };
    auto pool = std::make_unique<zam::ThreadPool>(1, 1, "boom", 60);
    EXPECT_TRUE(pool->enqueueAndWait(counted(), false));
    std::atomic<bool> innerAnswer{false};
    EXPECT_TRUE(pool->enqueueAndWait(
        task([&] { innerAnswer = pool->enqueueAndWait(counted(), true); }), false));
    EXPECT_TRUE(innerAnswer.load()) << "run on the calling pool thread";
    testing::internal::CaptureStderr();
    pool->enqueue(TaskPtr(), false, false);
    pool->enqueue(TaskPtr(), true, true);
    EXPECT_FALSE(pool->enqueueAndWait(TaskPtr(), false));
    EXPECT_EQ(0u, pool->queueSize());
    pool->enqueue(task([] { throw std::runtime_error("bad thing"); }, "thrower"), false, false);
    EXPECT_TRUE(pool->enqueueAndWait(task([] { throw 42; }, "odd"), false));
    EXPECT_TRUE(pool->enqueueAndWait(counted(), false));
    EXPECT_EQ(1u, pool->threadCount()) << "the same thread still serves";
    const std::string ignored =
        "ThreadPool \"boom\": a null task was given to enqueue and is ignored\n";
    EXPECT_EQ(ignored + ignored + ignored +
                  "ThreadPool \"boom\": task \"thrower\" threw an exception: bad thing\n"
                  "ThreadPool \"boom\": task \"BT-odd\" threw an exception that is not a "
                  "std::exception\n",
              testing::internal::GetCapturedStderr());
    EXPECT_EQ(3, ran.load());

    HeldTasks held;
    pool->enqueue(held.make(), false, false);
    ASSERT_TRUE(started(held, 1));
    for (bool byClear : {true, false}) {
        SCOPED_TRACE(byClear ? "clearQueue" : "the pool's end");
        std::atomic<int> answer{-1};
        OnThread waiter([&, p = pool.get()] { answer = p->enqueueAndWait(counted(), false); });
        pool->enqueue(counted(), false, true);
        EXPECT_TRUE(eventually([&] { return pool->queueSize() == 2; }));
        if (byClear) {
            pool->clearQueue();
            EXPECT_EQ("alive 1, busy 1, urgent 0, normal 0, run 6",
                      describe(pool->getStatistics()));
        } else {
            pool.reset();
        }
        EXPECT_TRUE(waiter.returns());
        EXPECT_EQ(0, answer.load());
    }
    EXPECT_EQ(3, ran.load());
    EXPECT_EQ(0, held.finished.load()) << "the pool's end does not wait for the running task";
}

// A pool destroyed while its threads are still starting: each thread sees the shut-down on its
// way to the first wait, the last one deletes the worker, and none is left behind.
TEST(ThreadPoolTest, PoolsDestroyedWhileTheirThreadsStartLeaveNoneBehind) {
    // A first thread lets a sanitizer runtime start the helper thread it starts with it.
    std::thread([] {}).join();
    // The threads of the process, as the kernel lists them.
    auto threadsOfThisProcess = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/task"), {});
    };
    const long before = threadsOfThisProcess();
    for (int i = 0; i < 100; ++i) {
        zam::ThreadPool pool(4, 4, "brief", 60);
    }
    EXPECT_TRUE(eventually([&] { return threadsOfThisProcess() == before; }))
        << threadsOfThisProcess() << " threads, " << before << " before";
}

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

// Names of 6, 15, 16, 25 and no characters.
TEST(ThreadNameTest, NamesUpToFifteenCharactersAreUsedWholeLongerOnesCutToFourteen) {
    for (auto setter : {&zam::SetThreadName, &zam::ThreadNameSetter::SetCurrentThreadName}) {
        std::string seen;
        for (const char* name :
             {"worker", "fifteen-chars-x", "sixteen-chars-xy", "a-much-longer-thread-name", ""}) {
            seen += onAFreshThread([&] {
                setter(name);
                return currentName() + " ";
            });
        }
        // SetThreadName hands an empty name on; the setter class ignores it.
        EXPECT_EQ(std::string("worker fifteen-chars-x sixteen-chars- a-much-longer- ") +
                      (setter == &zam::SetThreadName ? " " : "before "),
                  seen);
    }
}

// A pool worker names itself once for a run of tasks of one name, yet a rename through
// SetThreadName in between (by a task) is undone by the next task of that name. A name longer
// than the worker keeps is given every time, so a rename in between is undone as well.
TEST(ThreadNameTest, WorkerNamesAreSetAgainAfterAnyOtherRename) {
    // Each step names the worker, or with "=" renames the thread through SetThreadName; "Sam" is
    // another name than the "Same" kept, not a prefix of it.
    const std::string longName = "L" + std::string(80, 'o') + "ng";
    EXPECT_EQ(
        "Same Same PoolThread Same Sam Looooooooooooo Looooooooooooo ", onAFreshThread([&] {
            std::string seen;
            for (const std::string& step : std::vector<std::string>{
                     "Same", "=custom", "Same", "", "Same", "Sam", longName, "=custom", longName}) {
                if (step.rfind('=', 0) == 0) {
                    zam::SetThreadName(step.substr(1));
                } else {
                    zam::setWorkerThreadName(step);
                    seen += currentName() + " ";
                }
            }
            return seen;
        }));
}

// In a child process the system is made to refuse every new thread (no threads allowed for the
// user the child runs as), so that the pool's failure path is the real one.
void starvedPool() {
    struct rlimit none = {0, 0};
    // root ignores the limit; an unprivileged user does not
    if (setrlimit(RLIMIT_NPROC, &none) != 0 ||
        (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))) {
        _exit(10);
    }
    zam::ThreadPool pool(2, 3, "starved", 60);  // reports once: the second start is not tried
    const unsigned int threads = pool.threadCount();
    bool ran = false;
    pool.enqueue(task([&] { ran = true; }), true, false);  // cannot wait for a thread: runs here
    fprintf(stderr, "threads %u, ran %d, then threads %u, queued %u\n", threads, ran,
            pool.threadCount(), pool.queueSize());
    _exit(0);
}

TEST(ThreadPoolDeathTest, ThreadsTheSystemRefusesAreReportedAndNotCounted_NEGATIVE) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(starvedPool(), testing::ExitedWithCode(0),
                "ThreadPool \"starved\": could not start a worker thread: .*\n"
                "ThreadPool \"starved\": could not start a worker thread: .*\n"
                "threads 0, ran 1, then threads 0, queued 0\n");
}

TEST(TaskTest, DefaultNameIsTheDemangledDynamicTypeAndAnEmptyFunctionTaskDoesNothing) {
    EXPECT_EQ("probe::inner::UnnamedTask probe::inner::TemplateTask<int>",
              probe::inner::UnnamedTask().name() + " " + probe::inner::TemplateTask<int>().name());
    // A pool runs whatever it is given; a function task made from an empty function must not
    // throw std::bad_function_call there.
    KORCoreUtils::FunctionTask empty(std::function<void()>(), "empty");
    EXPECT_NO_THROW(empty.execute());
}

struct Recorder {
    void record(std::string value) { seen.push_back(value); }
    std::vector<std::string> seen;
};

TEST(FunctorTaskTest, CallsTheMethodWithItsArgumentAndKeepsTheObjectAlive) {
    auto recorder = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> watch = recorder;
    auto task = std::make_shared<ZAMUnified::FunctorTask<std::string, Recorder>>(
        std::move(recorder), &Recorder::record, "payload", "Recorder::record");

    ASSERT_FALSE(watch.expired()) << "the task must own the object";
    EXPECT_EQ("Recorder::record", task->name());
    task->execute();
    task->execute();  // the argument is passed as a copy, so it is still there the second time
    EXPECT_EQ((std::vector<std::string>{"payload", "payload"}), watch.lock()->seen);

    task.reset();
    EXPECT_TRUE(watch.expired()) << "the object lives exactly as long as the task";
}

// A null inner task only sets the done event; a throwing one sets it and its exception goes on.
TEST(BlockingTaskTest, NamesAndTheDoneEventHoweverItEndsAndWithdrawalExcludesAStart) {
    auto once = std::make_shared<zam::BlockingTask>(named("X"));
    zam::BlockingTask null{TaskPtr()};
    EXPECT_EQ("BT-X BT-BT-X BT- BT-", once->name() + " " + zam::BlockingTask(once).name() + " " +
                                          zam::BlockingTask(named("")).name() + " " + null.name());
    EXPECT_NO_THROW(null.execute());
    EXPECT_TRUE(null.getDoneEvent().timedWait(0));
    zam::BlockingTask throwing(task([] { throw std::runtime_error("inner failed"); }));
    EXPECT_THROW(throwing.execute(), std::runtime_error);
    EXPECT_TRUE(throwing.getDoneEvent().timedWait(0));

    int runs = 0;
    auto counting = [&runs] { return task([&runs] { ++runs; }, "c"); };
    zam::BlockingTask withdrawn(counting());
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.withdraw());
    EXPECT_TRUE(withdrawn.withdraw()) << "still withdrawn";
    withdrawn.execute();
    EXPECT_EQ(0, runs);
    EXPECT_FALSE(withdrawn.hasStarted());
    EXPECT_TRUE(withdrawn.getDoneEvent().timedWait(0)) << "a late execute() still releases";

    zam::BlockingTask started(counting());
    EXPECT_FALSE(started.getDoneEvent().timedWait(0));
    started.execute();
    EXPECT_EQ(1, runs);
    EXPECT_TRUE(started.hasStarted());
    EXPECT_TRUE(started.getDoneEvent().timedWait(0));
    EXPECT_FALSE(started.getDoneEvent().timedWait(0)) << "auto-reset: the wait consumed the signal";
    EXPECT_FALSE(started.withdraw());
    EXPECT_TRUE(started.hasStarted());
}

}  // namespace
