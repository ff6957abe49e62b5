// Dispatcher and pool throughput, ours side by side with peers doing the same work:
//   DispatchEnqueuePump/<variant>  one thread queues 100,000 tiny tasks, then runs them all
//   DispatchInterleaved/<variant>  queue one tiny task and run it, 100,000 times on one thread
//   DispatchRoundTrip/<variant>    hand one task to a thread that waits for work and pumps, and
//                                  wait until it has run
//   PoolTinyTasks/<variant>        200,000 tiny tasks through 4 threads, until all have run
//   DispatcherStatisticsSnapshot   one health snapshot of a dispatcher that has run tasks
//   PoolStatisticsSnapshot         one snapshot of a pool of 4 threads
// The statistics are kept on the enqueue and pump paths above, so the dispatch families also
// show what keeping them costs (compare with an older build).
// Variants: ours (ServicesDispatcher; TaskDispatcher for the pool), asio (io_context /
// thread_pool), poco (NotificationQueue / ThreadPool), bare (std::mutex +
// std::deque<std::function>). At the end our time is printed relative to each peer.
#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <zam/ThreadPool.h>

#include <benchmark/benchmark.h>

#ifdef SF_BENCH_WITH_ASIO
#include <asio.hpp>
#endif
#ifdef SF_BENCH_WITH_POCO
#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Runnable.h>
#include <Poco/ThreadPool.h>
#endif

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kBatch = 100000;
constexpr int kPoolTasks = 200000;
constexpr unsigned kPoolThreads = 4;

// Built once: a caller with a fixed task name passes the same string every time, so the figures
// show the dispatcher's own handling of the name, not the building of a temporary.
const std::string kTaskName = "bench";

// Counts finished tasks; the waiter returns when the expected number has finished.
class Latch {
  public:
    void reset(int expected) {
        std::lock_guard<std::mutex> lock(mutex_);
        remaining_ = expected;
    }
    void countDown() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--remaining_ == 0) {
            done_.notify_one();
        }
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return remaining_ == 0; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    int remaining_ = 0;
};

// The bare peer: one queue, any number of worker threads.
class BareQueue {
  public:
    explicit BareQueue(unsigned threads) {
        for (unsigned i = 0; i < threads; ++i) {
            workers_.emplace_back([this] { serve(); });
        }
    }
    ~BareQueue() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& worker : workers_) {
            worker.join();
        }
    }
    void post(std::function<void()> work) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(work));
        }
        wake_.notify_one();
    }
    // Runs the front task on the calling thread; false when the queue is empty.
    bool runOne() {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty()) {
                return false;
            }
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        return true;
    }
    // Runs what is queued on the calling thread (for the single-thread families).
    void drain() {
        for (;;) {
            std::function<void()> work;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (queue_.empty()) {
                    return;
                }
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

  private:
    void serve() {
        for (;;) {
            std::function<void()> work;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
};

// ---- DispatchEnqueuePump -----------------------------------------------------------------------

void DispatchEnqueuePumpOurs(benchmark::State& state) {
    ZAMUnified::ServicesDispatcher dispatcher;
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            dispatcher.enqueue([&counter] { ++counter; }, kTaskName, false, true);
        }
        dispatcher.pumpAll();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void DispatchEnqueuePumpBare(benchmark::State& state) {
    BareQueue queue(0);
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            queue.post([&counter] { ++counter; });
        }
        queue.drain();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

#ifdef SF_BENCH_WITH_ASIO
void DispatchEnqueuePumpAsio(benchmark::State& state) {
    asio::io_context context;
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            asio::post(context, [&counter] { ++counter; });
        }
        context.run();
        context.restart();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
#endif

#ifdef SF_BENCH_WITH_POCO
class WorkNotification : public Poco::Notification {
  public:
    explicit WorkNotification(std::function<void()> work) : work_(std::move(work)) {}
    void run() const { work_(); }

  private:
    std::function<void()> work_;
};

void DispatchEnqueuePumpPoco(benchmark::State& state) {
    Poco::NotificationQueue queue;
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            queue.enqueueNotification(new WorkNotification([&counter] { ++counter; }));
        }
        for (;;) {
            Poco::AutoPtr<Poco::Notification> next(queue.dequeueNotification());
            if (next.isNull()) {
                break;
            }
            static_cast<WorkNotification*>(next.get())->run();
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
#endif

// ---- DispatchInterleaved -----------------------------------------------------------------------

void DispatchInterleavedOurs(benchmark::State& state) {
    ZAMUnified::ServicesDispatcher dispatcher;
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            dispatcher.enqueue([&counter] { ++counter; }, kTaskName, false, true);
            dispatcher.pumpNext();
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void DispatchInterleavedBare(benchmark::State& state) {
    BareQueue queue(0);
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            queue.post([&counter] { ++counter; });
            queue.runOne();
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}

#ifdef SF_BENCH_WITH_ASIO
void DispatchInterleavedAsio(benchmark::State& state) {
    asio::io_context context;
    // Without outstanding work the context stops after the first handler and poll_one() would
    // run nothing more until restart().
    auto work = asio::make_work_guard(context);
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            asio::post(context, [&counter] { ++counter; });
            context.poll_one();
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
#endif

#ifdef SF_BENCH_WITH_POCO
void DispatchInterleavedPoco(benchmark::State& state) {
    Poco::NotificationQueue queue;
    long counter = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            queue.enqueueNotification(new WorkNotification([&counter] { ++counter; }));
            Poco::AutoPtr<Poco::Notification> next(queue.dequeueNotification());
            static_cast<WorkNotification*>(next.get())->run();
        }
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
#endif

// ---- DispatchRoundTrip -------------------------------------------------------------------------

void DispatchRoundTripOurs(benchmark::State& state) {
    ZAMUnified::ServicesDispatcher dispatcher;
    std::atomic<bool> ready{false};
    bool stop = false;  // written and read on the pumping thread only
    std::thread host([&] {
        dispatcher.resetDispatcherThread();
        ready = true;
        while (!stop) {
            dispatcher.waitForDispatcherTask();
            dispatcher.pumpAll();
        }
    });
    while (!ready) {
        std::this_thread::yield();
    }
    long counter = 0;
    for (auto _ : state) {
        dispatcher.enqueueBlock([&counter] { ++counter; }, kTaskName, false, true);
    }
    dispatcher.enqueue([&stop] { stop = true; }, "stop", false, true);
    host.join();
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations());
}

void DispatchRoundTripBare(benchmark::State& state) {
    BareQueue queue(1);
    long counter = 0;
    for (auto _ : state) {
        std::promise<void> done;
        queue.post([&] {
            ++counter;
            done.set_value();
        });
        done.get_future().wait();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations());
}

#ifdef SF_BENCH_WITH_ASIO
void DispatchRoundTripAsio(benchmark::State& state) {
    asio::io_context context;
    auto work = asio::make_work_guard(context);
    std::thread host([&] { context.run(); });
    long counter = 0;
    for (auto _ : state) {
        std::promise<void> done;
        asio::post(context, [&] {
            ++counter;
            done.set_value();
        });
        done.get_future().wait();
    }
    work.reset();
    host.join();
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations());
}
#endif

// ---- PoolTinyTasks -----------------------------------------------------------------------------

// The tasks of one run count down a latch that must outlive every worker thread: our pool's
// threads are detached and may still be leaving countDown() when the dispatcher is gone, so the
// latch is shared with the tasks rather than owned by the benchmark's frame.
struct PoolRun {
    Latch latch;
    std::atomic<long> counter{0};

    void tiny() {
        counter.fetch_add(1, std::memory_order_relaxed);
        latch.countDown();
    }
};

void PoolTinyTasksOurs(benchmark::State& state) {
    auto run = std::make_shared<PoolRun>();
    ZAMUnified::Processing::TaskDispatcher pool("bench", kPoolThreads, 60);
    for (auto _ : state) {
        run->latch.reset(kPoolTasks);
        for (int i = 0; i < kPoolTasks; ++i) {
            pool.enqueue([run] { run->tiny(); }, kTaskName);
        }
        run->latch.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPoolTasks);
}

void PoolTinyTasksBare(benchmark::State& state) {
    auto run = std::make_shared<PoolRun>();
    BareQueue queue(kPoolThreads);
    for (auto _ : state) {
        run->latch.reset(kPoolTasks);
        for (int i = 0; i < kPoolTasks; ++i) {
            queue.post([run] { run->tiny(); });
        }
        run->latch.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPoolTasks);
}

#ifdef SF_BENCH_WITH_ASIO
void PoolTinyTasksAsio(benchmark::State& state) {
    auto run = std::make_shared<PoolRun>();
    asio::thread_pool pool(kPoolThreads);
    for (auto _ : state) {
        run->latch.reset(kPoolTasks);
        for (int i = 0; i < kPoolTasks; ++i) {
            asio::post(pool, [run] { run->tiny(); });
        }
        run->latch.wait();
    }
    pool.join();
    state.SetItemsProcessed(state.iterations() * kPoolTasks);
}
#endif

#ifdef SF_BENCH_WITH_POCO
// Poco's pool runs one Runnable per thread, so work reaches its threads through a notification
// queue that each of them serves. A null notification (the queue's "quit" pill) ends a server;
// one pill per thread, because wakeUpAll() only reaches threads already waiting.
class NotificationServer : public Poco::Runnable {
  public:
    explicit NotificationServer(Poco::NotificationQueue& queue) : queue_(queue) {}
    void run() override {
        for (;;) {
            Poco::AutoPtr<Poco::Notification> next(queue_.waitDequeueNotification());
            auto* work = dynamic_cast<WorkNotification*>(next.get());
            if (work == nullptr) {
                return;
            }
            work->run();
        }
    }

  private:
    Poco::NotificationQueue& queue_;
};

class QuitNotification : public Poco::Notification {};

// Starts `threads` servers on a Poco pool and stops them all when it goes out of scope.
class PocoServers {
  public:
    PocoServers(Poco::NotificationQueue& queue, int threads)
        : queue_(queue), pool_(threads, threads), servers_(threads, NotificationServer(queue)) {
        for (NotificationServer& server : servers_) {
            pool_.start(server);
        }
    }
    ~PocoServers() {
        for (std::size_t i = 0; i < servers_.size(); ++i) {
            queue_.enqueueNotification(new QuitNotification);
        }
        pool_.joinAll();
    }

  private:
    Poco::NotificationQueue& queue_;
    Poco::ThreadPool pool_;
    std::vector<NotificationServer> servers_;
};

void DispatchRoundTripPoco(benchmark::State& state) {
    Poco::NotificationQueue queue;
    PocoServers host(queue, 1);
    long counter = 0;
    for (auto _ : state) {
        std::promise<void> done;
        queue.enqueueNotification(new WorkNotification([&] {
            ++counter;
            done.set_value();
        }));
        done.get_future().wait();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations());
}

void PoolTinyTasksPoco(benchmark::State& state) {
    auto run = std::make_shared<PoolRun>();
    Poco::NotificationQueue queue;
    PocoServers pool(queue, static_cast<int>(kPoolThreads));
    for (auto _ : state) {
        run->latch.reset(kPoolTasks);
        for (int i = 0; i < kPoolTasks; ++i) {
            queue.enqueueNotification(new WorkNotification([run] { run->tiny(); }));
        }
        run->latch.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPoolTasks);
}
#endif

// ---- Statistics ---------------------------------------------------------------------------------

void DispatcherStatisticsSnapshot(benchmark::State& state) {
    ZAMUnified::ServicesDispatcher dispatcher;
    for (int i = 0; i < 1000; ++i) {
        dispatcher.enqueue([] {}, kTaskName, false, true);
    }
    dispatcher.pumpAll();
    dispatcher.enqueue([] {}, "queued", false, true);
    std::uint64_t run = 0;
    for (auto _ : state) {
        run += dispatcher.getStatistics().tasksRun;
    }
    benchmark::DoNotOptimize(run);
}

void PoolStatisticsSnapshot(benchmark::State& state) {
    zam::ThreadPool pool(kPoolThreads, kPoolThreads, "bench", 60);
    std::uint64_t run = 0;
    for (auto _ : state) {
        run += pool.getStatistics().tasksRun;
    }
    benchmark::DoNotOptimize(run);
}

bool registerDispatchBenchmarks() {
    using Fn = void (*)(benchmark::State&);
    const std::vector<std::pair<const char*, Fn>> singleThread = {
        {"DispatchEnqueuePump/ours", DispatchEnqueuePumpOurs},
#ifdef SF_BENCH_WITH_ASIO
        {"DispatchEnqueuePump/asio", DispatchEnqueuePumpAsio},
#endif
#ifdef SF_BENCH_WITH_POCO
        {"DispatchEnqueuePump/poco", DispatchEnqueuePumpPoco},
#endif
        {"DispatchEnqueuePump/bare", DispatchEnqueuePumpBare},
        {"DispatchInterleaved/ours", DispatchInterleavedOurs},
#ifdef SF_BENCH_WITH_ASIO
        {"DispatchInterleaved/asio", DispatchInterleavedAsio},
#endif
#ifdef SF_BENCH_WITH_POCO
        {"DispatchInterleaved/poco", DispatchInterleavedPoco},
#endif
        {"DispatchInterleaved/bare", DispatchInterleavedBare},
        {"DispatcherStatisticsSnapshot", DispatcherStatisticsSnapshot},
        {"PoolStatisticsSnapshot", PoolStatisticsSnapshot},
    };
    for (const auto& entry : singleThread) {
        benchmark::RegisterBenchmark(entry.first, entry.second);
    }
    const std::vector<std::pair<const char*, Fn>> threaded = {
        {"DispatchRoundTrip/ours", DispatchRoundTripOurs},
#ifdef SF_BENCH_WITH_ASIO
        {"DispatchRoundTrip/asio", DispatchRoundTripAsio},
#endif
#ifdef SF_BENCH_WITH_POCO
        {"DispatchRoundTrip/poco", DispatchRoundTripPoco},
#endif
        {"DispatchRoundTrip/bare", DispatchRoundTripBare},
        {"PoolTinyTasks/ours", PoolTinyTasksOurs},
#ifdef SF_BENCH_WITH_ASIO
        {"PoolTinyTasks/asio", PoolTinyTasksAsio},
#endif
#ifdef SF_BENCH_WITH_POCO
        {"PoolTinyTasks/poco", PoolTinyTasksPoco},
#endif
        {"PoolTinyTasks/bare", PoolTinyTasksBare},
    };
    for (const auto& entry : threaded) {
        benchmark::RegisterBenchmark(entry.first, entry.second)->UseRealTime();
    }
    return true;
}

const bool registered = registerDispatchBenchmarks();

}  // namespace
