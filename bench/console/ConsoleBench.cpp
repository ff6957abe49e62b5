// The console's cost per request, with the host pumping its dispatcher on a thread of its own:
//   ConsoleRequest/ours     POST /v1/run "CalculatorService/add(17, 25)" over the console's Unix
//                           socket, one client on a kept-alive connection
//   ConsoleRequest/bare     the floor: a bare Beast server on a Unix socket that reads the same
//                           request, makes one round trip to the dispatcher thread and answers
//                           the same JSON
//   ConsoleConcurrent/*     16 clients, 200 requests each, of "CounterService/next()" (a counter
//                           the service keeps): requests per second, p50 and p99 latency, and
//                           requests lost or run twice, counted by the service
//   TextRequest/ours        the text layer alone, for scale
#include <ZAMUnified/Console.h>
#include <ZAMUnified/ObjectReflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/TypeMap.h>

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <typeinfo>
#include <vector>

#include "common/TextRequestBench.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using local = asio::local::stream_protocol;
using namespace ZAMUnified;

constexpr int kClients = 16;
constexpr int kRequestsPerClient = 200;
const std::string kAddLine = "CalculatorService/add(17, 25)";
const std::string kAddAnswer =
    R"j({"request":"CalculatorService/add(17, 25)","ok":true,"type":"int","text":"42","value":42})j";

class CounterService : public UnifiedService, public UnifiedBusinessObjectImpl {
  public:
    explicit CounterService(std::shared_ptr<UnifiedFactory> factory)
        : UnifiedBusinessObjectImpl(std::move(factory), "Counter") {}
    std::string getInterfaceName() override { return "Counter"; }
    void initNotifiers() override {}
    int next() { return ++count_; }  // on the dispatcher thread only
    int count_ = 0;
};

// The process's factory with both services, its dispatcher pumped by a thread of its own, and a
// console on a Unix socket, for the whole program.
struct Host {
    Host() {
        char pattern[] = "/tmp/sf-bench-console-XXXXXX";
        folder = mkdtemp(pattern);
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ServiceFactory& factory = *ServiceFactory::getInstance();
        unified = factory.getUnifiedFactory();
        sfbench::registerCalculator(unified, 7001);
        counter = std::make_shared<CounterService>(unified);
        ReflectorFactory::AddReflectorFactoryMethod(
            "Counter", [](std::shared_ptr<UnifiedBusinessObject> object) {
                auto service = std::dynamic_pointer_cast<CounterService>(object);
                auto reflector =
                    std::make_shared<ObjectReflector<CounterService>>("Counter", service);
                reflector->method("next", &CounterService::next);
                return std::shared_ptr<Reflector>(reflector);
            });
        unified->getServiceRegistry()->addItem(typeid(CounterService).name(), 7002, counter);
        ConsoleOptions options;
        options.endpoint = "unix:" + folder + "/console.sock";
        options.token = "bench";
        options.limits.connections = 4 * kClients;
        endpoint = startConsole(factory, options);
        pump = std::thread([this, &factory] {
            factory.resetDispatcherThread();
            while (!stop) {
                factory.waitForDispatcherTask(20);
                factory.pumpAllDispatcherTasks();
            }
        });
    }
    ~Host() {
        // Stopped while the dispatcher is still pumped, so the console's last task runs.
        stopConsole();
        stop = true;
        pump.join();
        unified->Reset();
        rmdir(folder.c_str());
    }
    std::string folder;
    std::string endpoint;
    std::shared_ptr<UnifiedFactory> unified;
    std::shared_ptr<CounterService> counter;
    std::atomic<bool> stop{false};
    std::thread pump;
};

Host& host() {
    static Host instance;
    return instance;
}

// The floor: reads a request, runs one empty task on the dispatcher thread, answers the JSON.
class BareServer {
  public:
    BareServer() : acceptor_(io_) {
        path_ = host().folder + "/bare.sock";
        ::unlink(path_.c_str());
        acceptor_.open(local());
        acceptor_.bind(local::endpoint(path_));
        acceptor_.listen();
        thread_ = std::thread([this] { acceptLoop(); });
    }
    ~BareServer() {
        beast::error_code ignored;
        stopping_ = true;
        ::shutdown(acceptor_.native_handle(), SHUT_RDWR);
        acceptor_.close(ignored);
        thread_.join();
        for (std::thread& session : sessions_) {
            session.join();
        }
        ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }

  private:
    void acceptLoop() {
        while (!stopping_) {
            beast::error_code error;
            local::socket socket(io_);
            acceptor_.accept(socket, error);
            if (error) {
                return;
            }
            sessions_.emplace_back([socket = std::move(socket)]() mutable { serve(socket); });
        }
    }
    static void serve(local::socket& socket) {
        const auto dispatcher = host().unified->getServicesDispatcher();
        beast::flat_buffer buffer;
        for (;;) {
            http::request<http::string_body> request;
            beast::error_code error;
            http::read(socket, buffer, request, error);
            if (error) {
                return;
            }
            const bool ran =
                dispatcher->runOnDispatcherThread([] {}, std::chrono::seconds(5), "bare");
            http::response<http::string_body> response{
                ran ? http::status::ok : http::status::gateway_timeout, 11};
            response.set(http::field::content_type, "application/json");
            response.body() = kAddAnswer;
            response.keep_alive(true);
            response.prepare_payload();
            http::write(socket, response, error);
            if (error) {
                return;
            }
        }
    }

    asio::io_context io_;
    local::acceptor acceptor_;
    std::string path_;
    std::thread thread_;
    std::vector<std::thread> sessions_;
    std::atomic<bool> stopping_{false};
};

// A kept-alive client that posts one line at a time.
class Client {
  public:
    explicit Client(const std::string& path) : socket_(io_) {
        socket_.connect(local::endpoint(path));
    }
    // The answer's body, or "" when the exchange failed.
    std::string post(const std::string& line) {
        http::request<http::string_body> request{http::verb::post, "/v1/run", 11};
        request.set(http::field::host, "localhost");
        request.set(http::field::authorization, "Bearer bench");
        request.body() = nlohmann::json{{"line", line}}.dump();
        request.prepare_payload();
        beast::error_code error;
        http::write(socket_, request, error);
        http::response<http::string_body> response;
        if (!error) {
            http::read(socket_, buffer_, response, error);
        }
        return error || response.result() != http::status::ok ? std::string() : response.body();
    }

  private:
    asio::io_context io_;
    local::socket socket_;
    beast::flat_buffer buffer_;
};

std::string consolePath() {
    return host().endpoint.substr(5);
}

void requestBench(benchmark::State& state, const std::string& path) {
    Client client(path);
    const std::string first = client.post(kAddLine);
    if (first != kAddAnswer) {
        state.SkipWithError(("the server answered " + first).c_str());
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(client.post(kAddLine));
    }
}

void ConsoleRequestOurs(benchmark::State& state) {
    requestBench(state, consolePath());
}

void ConsoleRequestBare(benchmark::State& state) {
    BareServer bare;
    requestBench(state, bare.path());
}

// 16 clients, a fixed count of requests each; the service's counter says how many ran.
void concurrentBench(benchmark::State& state, const std::string& path, bool counted) {
    std::vector<double> latencies;
    long lost = 0;
    long twice = 0;
    for (auto _ : state) {
        const int before = host().counter->count_;
        std::vector<std::vector<double>> times(kClients);
        std::vector<std::vector<int>> values(kClients);
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                Client client(path);
                for (int i = 0; i < kRequestsPerClient; ++i) {
                    const auto start = std::chrono::steady_clock::now();
                    const std::string answer = client.post("CounterService/next()");
                    times[c].push_back(std::chrono::duration<double, std::micro>(
                                           std::chrono::steady_clock::now() - start)
                                           .count());
                    const auto json = nlohmann::json::parse(answer, nullptr, false);
                    values[c].push_back(json.is_object() ? json.value("value", -1) : -1);
                }
            });
        }
        for (std::thread& client : clients) {
            client.join();
        }
        std::set<int> seen;
        for (int c = 0; c < kClients; ++c) {
            latencies.insert(latencies.end(), times[c].begin(), times[c].end());
            for (int value : values[c]) {
                twice += counted && value >= 0 && !seen.insert(value).second ? 1 : 0;
            }
        }
        if (counted) {
            lost += kClients * kRequestsPerClient - (host().counter->count_ - before);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double share) {
        return latencies.empty()
                   ? 0.0
                   : latencies[static_cast<std::size_t>(share * (latencies.size() - 1))];
    };
    state.counters["requests_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kClients * kRequestsPerClient,
                           benchmark::Counter::kIsRate);
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["run_twice"] = static_cast<double>(twice);
    if (counted && (lost != 0 || twice != 0)) {
        state.SkipWithError("requests were lost or run twice");
    }
}

void ConsoleConcurrentOurs(benchmark::State& state) {
    concurrentBench(state, consolePath(), true);
}

void ConsoleConcurrentBare(benchmark::State& state) {
    BareServer bare;
    concurrentBench(state, bare.path(), false);
}

bool registerConsoleBenchmarks() {
    benchmark::RegisterBenchmark("ConsoleRequest/ours", ConsoleRequestOurs)->UseRealTime();
    benchmark::RegisterBenchmark("ConsoleRequest/bare", ConsoleRequestBare)->UseRealTime();
    benchmark::RegisterBenchmark("ConsoleConcurrent/ours", ConsoleConcurrentOurs)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ConsoleConcurrent/bare", ConsoleConcurrentBare)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("TextRequest/ours", sfbench::TextRequestOurs);
    return true;
}

const bool registered = registerConsoleBenchmarks();

}  // namespace
