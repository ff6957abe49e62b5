// The console as operators and test harnesses meet it: a real host (this process, with the
// sample library and a plug-in whose methods throw) serves its console on a loopback port or a
// Unix socket, and real HTTP and WebSocket clients drive it from other threads while the test's
// thread, the dispatcher thread, pumps or on purpose does not.
#include <ZAMUnified/Console.h>
#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/UnifiedFactory.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "ConsoleClient.h"
#include "support/LogCapture.h"
#include "support/PluginFolder.h"

namespace {

using namespace ZAMUnified;
using namespace consoletest;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;
using local = asio::local::stream_protocol;

const char* const kToken = "0123456789abcdef0123456789abcdef";

class ConsoleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(root_.empty());
        setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
        setenv("ZAM_RESOURCES_DIR", SC_RESOURCES_DIR, 1);
        factory().resetDispatcherThread();
        // A plug-in whose methods throw, known through its manifest.
        ASSERT_TRUE(factory().addLibraryManifest(plugins_.add(
            "abacus",
            "<library><name>Abacus</name><path>Abacus</path><services>"
            "<service name='ZAMUnified::AbacusService' id='9100'/></services></library>",
            SC_ABACUS_PLUGIN, "Abacus")));
    }

    void SetUp() override {
        factory().resetDispatcherThread();
        start({});
    }
    void TearDown() override { stopConsole(); }

    static ServiceFactory& factory() { return *ServiceFactory::getInstance(); }

    void start(ConsoleOptions options) {
        stopConsole();
        if (options.endpoint == "unix") {
            options.endpoint = "tcp:127.0.0.1:0";
        }
        options.token = kToken;
        options.program = "console host";
        endpoint_ = startConsole(factory(), options);
    }

    std::map<std::string, std::string> headers(std::map<std::string, std::string> extra = {}) {
        extra.emplace("Host", "127.0.0.1:" + std::to_string(portOf(endpoint_)));
        extra.emplace("Authorization", std::string("Bearer ") + kToken);
        return extra;
    }

    Reply call(const std::string& method, const std::string& target, const std::string& body = "",
               std::map<std::string, std::string> extra = {}) {
        const auto request = makeRequest(method, target, body, headers(std::move(extra)));
        const auto where = tcpEndpoint(endpoint_);
        return whilePumping(factory(), [=] { return exchange<tcp>(where, request); });
    }

    // Runs a line and answers its JSON value's text.
    std::string run(const std::string& line) {
        Reply reply = call("POST", "/v1/run", nlohmann::json{{"line", line}}.dump());
        return nlohmann::json::parse(reply.body).value("text", reply.body);
    }

    inline static const sftest::PluginFolder plugins_;
    inline static const fs::path root_ = plugins_.root();
    std::string endpoint_;
};

// The bodies of describe, services, libraries, authenticators/ID and objects are the text layer's
// JSON, and svcsh --connect prints them exactly as a local shell does (ShellConsoleTest); here are
// the statuses and what the console alone answers.
TEST_F(ConsoleTest, EveryEndpointAnswersWithTheStatusAndJsonOfTheTextLayer) {
    struct Case {
        const char* method;
        const char* target;
        const char* body;
        int status;
        const char* answer;  // the whole body, or a part of it after "..."
    };
    const Case cases[] = {
        {"POST", "/v1/run", R"j({"line":"HelloWorldService/add(a=2, b=3)"})j", 200,
         R"j({"request":"HelloWorldService/add(a=2, b=3)","ok":true,"type":"int","text":"5","value":5})j"},
        {"POST", "/v1/run", R"j({"line":"HelloWorldService/add(a=2"})j", 400,
         R"j({"request":"HelloWorldService/add(a=2","ok":false,"error":"syntax error at)j"},
        {"POST", "/v1/run", R"j({"line":"HelloWorldService/Nothing"})j", 422,
         R"j({"request":"HelloWorldService/Nothing","ok":false,"error":)j"},
        {"POST", "/v1/run", R"j({"line":"ZAMUnified::AbacusService/divide(a=1, b=0)"})j", 500,
         R"j(...,"ok":false,"error":"exception std::domain_error: division by zero"})j"},
        {"POST", "/v1/run", "not json", 400,
         R"j({"ok":false,"error":"the body is not JSON; send {\"line\": \"...\"}"})j"},
        {"POST", "/v1/run", R"j({"line":7})j", 400,
         R"j({"ok":false,"error":"the body needs a string \"line\", such as {\"line\": \"HelloWorldService/Greeting\"}"})j"},
        {"GET", "/v1/run", "", 405,
         R"j({"ok":false,"error":"GET is not allowed on /v1/run; use POST"})j"},
        {"GET", "/v1/nothing", "", 404,
         R"j({"ok":false,"error":"no such resource: /v1/nothing"})j"},
        {"GET", "/v1/describe", "", 400,
         R"j({"ok":false,"error":"describe needs a path, such as /v1/describe?path=HelloWorldService"})j"},
        {"GET", "/v1/describe?path=%ZZ", "", 400,
         R"j({"ok":false,"error":"the target has a '%' not followed by two hex digits"})j"},
        {"GET", "/v1/authenticators/NOBODY", "", 404,
         R"j({"ok":false,"error":"no authenticator is named \"NOBODY\""})j"},
        {"POST", "/v1/featuresets/42876/start", "", 200,
         R"j({"id":42876,"provisioned":true,"started":true})j"},
        {"GET", "/v1/featuresets/x", "", 400,
         R"j({"ok":false,"error":"a feature set id is a number, not \"x\""})j"},
        {"GET", "/v1/featuresets/77", "", 404,
         R"j({"ok":false,"error":"no feature set has id 77: none is registered and no library record lists it"})j"},
        {"GET", "/v1/authenticators", "", 200,
         R"j(...{"id":1801,"name":"HELLOWORLD","displayName":"Hello World Sign-In"})j"},
        {"GET", "/v1/featuresets", "", 200,
         R"j([{"id":42876,"provisioned":true,"started":true}])j"},
        {"GET", "/v1/monitor", "", 200, R"j({"objectsAlive":{"count":)j"},
        {"GET", "/v1/stats", "", 200, R"j({"dispatcher":{"queued":)j"},
        {"GET", "/v1/status", "", 200,
         R"j(...,"program":"console host","endpoint":"tcp:127.0.0.1:)j"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.target + " " + c.body);
        Reply reply = call(c.method, c.target, c.body);
        EXPECT_EQ(c.status, reply.status);
        EXPECT_EQ("application/json", reply.headers["Content-Type"]);
        const std::string answer = c.answer;
        if (answer.compare(0, 3, "...") == 0) {
            EXPECT_NE(std::string::npos, reply.body.find(answer.substr(3))) << reply.body;
        } else if (answer.back() == '}' || answer.back() == ']') {
            EXPECT_EQ(answer, reply.body);
        } else {
            EXPECT_EQ(0u, reply.body.find(answer)) << reply.body;
        }
    }
    // The host kept serving after the plug-in threw.
    EXPECT_EQ("5", run("HelloWorldService/add(a=2, b=3)"));
}

TEST_F(ConsoleTest, OnlyTheTokenOrItsCookieFromThisConsolesOriginGetsIn) {
    const std::string port = std::to_string(portOf(endpoint_));
    const std::string host = "127.0.0.1:" + port;
    const std::string bearer = std::string("Bearer ") + kToken;
    const std::string unauthorised =
        R"j({"ok":false,"error":"the console needs its token: send \"Authorization: Bearer TOKEN\", or open /login?token=TOKEN in a browser; the token is in the discovery file"})j";
    using Headers = std::map<std::string, std::string>;
    auto authorised = [&](const std::string& value) {
        return Headers{{"Host", host}, {"Authorization", value}};
    };
    struct Case {
        Headers headers;
        const char* target;
        int status;
        std::string answer;
    };
    const Case cases[] = {
        {{{"Host", host}}, "/v1/status", 401, unauthorised},
        {authorised("Bearer 0123456789abcdef0123456789abcdeX"), "/v1/status", 401, unauthorised},
        {authorised(bearer + "0"), "/v1/status", 401, unauthorised},
        {{{"Host", "evil.example:" + port}, {"Authorization", bearer}},
         "/v1/status",
         403,
         R"j({"ok":false,"error":"the Host header does not name this console"})j"},
        {{{"Host", host}, {"Origin", "http://evil.example"}, {"Authorization", bearer}},
         "/v1/status",
         403,
         R"j({"ok":false,"error":"requests from other origins are refused"})j"},
        {{{"Host", host}, {"Cookie", "sf_console_session=forged"}}, "/", 401, unauthorised},
        {{{"Host", host}},
         "/login?token=wrong",
         401,
         R"j({"ok":false,"error":"the login link's token is not this console's; take the link from the discovery file or the host's log"})j"},
    };
    const auto where = tcpEndpoint(endpoint_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        Reply reply = exchange<tcp>(where, makeRequest("GET", c.target, "", c.headers));
        EXPECT_EQ(c.status, reply.status);
        EXPECT_EQ(c.answer, reply.body);
    }

    // The one-time link: the token is exchanged for a cookie no script can read and no other
    // site sends, and the address bar loses the token.
    Reply login = exchange<tcp>(
        where, makeRequest("GET", std::string("/login?token=") + kToken, "", {{"Host", host}}));
    ASSERT_EQ(303, login.status);
    EXPECT_EQ("/", login.headers["Location"]);
    const std::string cookie = login.headers["Set-Cookie"];
    EXPECT_NE(std::string::npos, cookie.find("; HttpOnly; SameSite=Strict; Path=/")) << cookie;
    const std::string session = cookie.substr(0, cookie.find(';'));
    Reply page = exchange<tcp>(
        where,
        makeRequest("GET", "/", "",
                    {{"Host", host}, {"Cookie", "a=b; " + session}, {"Origin", "http://" + host}}));
    EXPECT_EQ(200, page.status);
    EXPECT_EQ("text/html; charset=utf-8", page.headers["Content-Type"]);
    EXPECT_EQ(0u, page.headers["Content-Security-Policy"].find("default-src 'self'; "));
    EXPECT_NE(std::string::npos, page.body.find("console.js"));
}

TEST_F(ConsoleTest, LimitsAnswerClearlyAndCloseIdleAndSlowClients) {
    ConsoleOptions options;
    options.limits.bodyBytes = 64;
    options.limits.headerBytes = 512;
    options.limits.connections = 2;
    options.limits.idle = std::chrono::milliseconds(300);
    start(options);
    const auto where = tcpEndpoint(endpoint_);

    EXPECT_EQ(R"j({"ok":false,"error":"the body exceeds 64 bytes"})j",
              call("POST", "/v1/run", std::string(100, ' ')).body);
    Reply headers = call("GET", "/v1/status", "", {{"X-Filler", std::string(600, 'x')}});
    EXPECT_EQ(431, headers.status);
    EXPECT_EQ(R"j({"ok":false,"error":"the request line and headers exceed 512 bytes"})j",
              headers.body);

    // Two idle connections fill the console; a third is told to come back, then the idle ones
    // are closed and a new one gets in.
    asio::io_context io;
    tcp::socket first(io), second(io);
    first.connect(where);
    second.connect(where);
    ASSERT_TRUE(sftest::eventually([&] { return call("GET", "/v1/status").status == 503; }));
    EXPECT_EQ(
        R"j({"ok":false,"error":"the console serves at most 2 connections at once; try again later"})j",
        call("GET", "/v1/status").body);
    // A client that trickles its request is closed like one that sends nothing.
    boundWaits(first);
    asio::write(first, asio::buffer(std::string("GET /v1/status HTTP/1.1\r\n")));
    char byte = 0;
    beast::error_code error;
    first.read_some(asio::buffer(&byte, 1), error);
    EXPECT_EQ(asio::error::eof, error);
    EXPECT_TRUE(sftest::eventually([&] { return call("GET", "/v1/status").status == 200; }));
}

TEST_F(ConsoleTest, AHostThatStopsPumpingAnswers504AndTheCallNeverRunsLater) {
    ConsoleOptions options;
    options.requestTimeout = std::chrono::milliseconds(200);
    start(options);
    EXPECT_EQ("5", run("HelloWorldService/add(a=2, b=3)"));  // loads the library
    run("HelloWorldService/Greeting(\"before\")");
    const auto where = tcpEndpoint(endpoint_);
    const auto write = makeRequest(
        "POST", "/v1/run", R"j({"line":"HelloWorldService/Greeting(\"late\")"})j", headers());
    // Nobody pumps while the console waits.
    Reply late = exchange<tcp>(where, write);
    EXPECT_EQ(504, late.status);
    EXPECT_EQ(R"j({"ok":false,"error":"the host has not run the request within 200 ms"})j",
              late.body);
    // Status needs no dispatcher, so it still answers.
    EXPECT_EQ(200, exchange<tcp>(where, makeRequest("GET", "/v1/status", "", headers())).status);
    factory().pumpAllDispatcherTasks();
    EXPECT_EQ("before", run("HelloWorldService/Greeting"));
}

TEST_F(ConsoleTest, ACallWhoseClientLeftRunsOnceAndStoppingWaitsForCallsInFlight) {
    EXPECT_EQ("5", run("HelloWorldService/add(a=2, b=3)"));
    const std::string before = run("HelloWorldService/GreetedNames");
    const auto where = tcpEndpoint(endpoint_);
    {
        asio::io_context io;
        tcp::socket socket(io);
        socket.connect(where);
        http::request<http::string_body> request = makeRequest(
            "POST", "/v1/run", R"j({"line":"HelloWorldService/sayHello(\"Once\")"})j", headers());
        request.prepare_payload();
        http::write(socket, request);
    }  // gone before the host pumps
    auto queued = [] {
        return factory().getUnifiedFactory()->getServicesDispatcher()->getQueueSize() > 0;
    };
    ASSERT_TRUE(sftest::eventually(queued));
    // Another call in flight when the console stops: stopping on the dispatcher thread pumps it.
    auto inFlight = std::async(std::launch::async, [&, where] {
        return exchange<tcp>(
            where, makeRequest("POST", "/v1/run",
                               R"j({"line":"HelloWorldService/sayHello(\"Twice\")"})j", headers()));
    });
    ASSERT_TRUE(sftest::eventually([&] {
        return factory().getUnifiedFactory()->getServicesDispatcher()->getQueueSize() > 1;
    }));
    stopConsole();
    inFlight.get();
    EXPECT_EQ("", consoleEndpoint());
    start({});
    const std::string after = run("HelloWorldService/GreetedNames");
    EXPECT_EQ(before.empty() ? "Once|Twice" : before + "|Once|Twice", after);
}

TEST_F(ConsoleTest, ASecondConsoleIsRefusedAndAStoppedOneLeavesNothingBehind) {
    // What start refuses with, and of which kind.
    auto refusal = [](const ConsoleOptions& options) -> std::string {
        try {
            startConsole(factory(), options);
            return "started";
        } catch (const std::invalid_argument& error) {
            return std::string("invalid argument: ") + error.what();
        } catch (const std::runtime_error& error) {
            return std::string("runtime error: ") + error.what();
        }
    };
    EXPECT_EQ("runtime error: a console is already running in this process, at " + endpoint_ +
                  "; stop it before starting another",
              refusal({}));
    stopConsole();
    ConsoleOptions remote;
    remote.endpoint = "tcp:0.0.0.0:0";
    EXPECT_EQ(
        "invalid argument: the console listens on loopback addresses only unless allowRemote is "
        "set; \"0.0.0.0\" is not one",
        refusal(remote));
    remote.endpoint = "http://localhost";
    EXPECT_EQ(
        "invalid argument: the endpoint \"http://localhost\" is not unix, unix:PATH or "
        "tcp:HOST:PORT",
        refusal(remote));

    // The default: a private socket in a private folder, found through a private file.
    const std::string endpoint = startConsole(factory(), {});
    const std::string folder = root_.string() + "/servicesframework";
    const std::string discovery = folder + "/console-" + std::to_string(getpid()) + ".json";
    EXPECT_EQ("unix:" + folder + "/console-" + std::to_string(getpid()) + ".sock", endpoint);
    struct stat status {};
    for (const auto& [path, mode] : std::vector<std::pair<std::string, mode_t>>{
             {folder, 0700}, {endpoint.substr(5), 0600}, {discovery, 0600}}) {
        ASSERT_EQ(0, stat(path.c_str(), &status)) << path;
        EXPECT_EQ(mode, status.st_mode & 0777) << path;
    }
    const auto file = nlohmann::json::parse(std::ifstream(discovery));
    EXPECT_EQ(endpoint, file["endpoint"]);
    EXPECT_EQ(consoleToken(), file["token"]);
    EXPECT_EQ(32u, consoleToken().size());
    ASSERT_EQ(1u, findConsoles().size());
    EXPECT_EQ(getpid(), findConsoles()[0].pid);
    Reply reply = whilePumping(factory(), [&] {
        return exchange<local>(
            local::endpoint(endpoint.substr(5)),
            makeRequest("GET", "/v1/services", "",
                        {{"Host", "localhost"}, {"Authorization", "Bearer " + consoleToken()}}));
    });
    EXPECT_EQ(200, reply.status);
    stopConsole();
    EXPECT_FALSE(fs::exists(discovery));
    EXPECT_FALSE(fs::exists(endpoint.substr(5)));
    EXPECT_TRUE(findConsoles().empty());
}

TEST_F(ConsoleTest, DiscoveryFilesGoToTheRuntimeFolderElseToAPrivateOneInTmp) {
    const std::string fallback = "/tmp/servicesframework-" + std::to_string(geteuid());
    struct Case {
        const char* runtime;  // null: unset
        std::string folder;
    };
    for (const Case& c : {Case{"/run/user/7", "/run/user/7/servicesframework"}, Case{"", fallback},
                          Case{nullptr, fallback}}) {
        if (c.runtime != nullptr) {
            setenv("XDG_RUNTIME_DIR", c.runtime, 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        EXPECT_EQ(c.folder, consoleDiscoveryFolder());
    }
    setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
}

TEST_F(ConsoleTest, AWebSocketWatchesChangesOthersCauseAndPushesStatistics) {
    ConsoleOptions options;
    options.limits.watchesPerConnection = 1;
    options.limits.messageBytes = 256;
    start(options);
    EXPECT_EQ("5", run("HelloWorldService/add(a=2, b=3)"));
    asio::io_context io;
    websocket::stream<tcp::socket> socket(io);
    socket.next_layer().connect(tcpEndpoint(endpoint_));
    boundWaits(socket.next_layer());
    socket.set_option(websocket::stream_base::decorator([](websocket::request_type& request) {
        request.set(http::field::authorization, std::string("Bearer ") + kToken);
    }));
    socket.handshake("127.0.0.1:" + std::to_string(portOf(endpoint_)), "/v1/socket");
    auto exchangeText = [&](const std::string& text) {
        return whilePumping(factory(), [&] {
            socket.write(asio::buffer(text));
            beast::flat_buffer buffer;
            socket.read(buffer);
            return beast::buffers_to_string(buffer.data());
        });
    };
    EXPECT_EQ(
        R"j({"id":1,"status":200,"body":{"ok":true,"watch":"g"}})j",
        exchangeText(R"j({"id":1,"op":"watch","path":"HelloWorldService/Greeting","label":"g"})j"));
    EXPECT_EQ(
        R"j({"id":2,"status":429,"body":{"ok":false,"error":"a connection may hold at most 1 watches"}})j",
        exchangeText(R"j({"id":2,"op":"watch","path":"HelloWorldService/Guests"})j"));
    EXPECT_EQ(
        R"j({"id":null,"status":400,"body":{"ok":false,"error":"the message is not a JSON object"}})j",
        exchangeText("[1"));
    // Another client changes the property; this one hears it.
    EXPECT_EQ("Hi", [&] {
        call("POST", "/v1/run", R"j({"line":"HelloWorldService/Greeting(\"Hi\")"})j");
        beast::flat_buffer buffer;
        socket.read(buffer);
        return nlohmann::json::parse(beast::buffers_to_string(buffer.data())).value("text", "");
    }());
    EXPECT_EQ(R"j({"id":3,"status":200,"body":{"ok":true,"stats":true}})j",
              exchangeText(R"j({"id":3,"op":"stats","on":true})j"));
    beast::flat_buffer pushed;
    socket.read(pushed);
    EXPECT_EQ(0u, beast::buffers_to_string(pushed.data())
                      .find(R"j({"event":"stats","stats":{"dispatcher":)j"));
    // A message over the limit closes the socket with "message too big".
    socket.write(asio::buffer(std::string(300, ' ')));
    beast::flat_buffer rest;
    beast::error_code error;
    while (!error) {
        socket.read(rest, error);
        rest.consume(rest.size());
    }
    EXPECT_EQ(websocket::error::closed, error);
    EXPECT_EQ(websocket::close_code::too_big, socket.reason().code);
    // Its watch ended with it: a change now reaches no one, and the host carries on.
    EXPECT_EQ("Bye",
              (run("HelloWorldService/Greeting(\"Bye\")"), run("HelloWorldService/Greeting")));
}

TEST_F(ConsoleTest, AWrittenSecretNeverReachesTheLog) {
    sftest::LogCapture log({"services-console", "services-dispatcher", "unified-factory"},
                           ZAMLOG_LEVEL_TRACE);
    EXPECT_EQ(
        R"j({"request":"HelloWorldService/Secret(********)","ok":true,"type":"void","text":"","value":null})j",
        call("POST", "/v1/run", R"j({"line":"HelloWorldService/Secret(\"hunter2\")"})j").body);
    EXPECT_EQ("********", run("HelloWorldService/Secret"));
    for (const std::string& message : log.messages()) {
        EXPECT_EQ(std::string::npos, message.find("hunter2")) << message;
    }
}

}  // namespace
