// The shell as users meet it: the svcsh program run as a process, with its standard output, its
// standard error and its exit status compared exactly. It loads the real sample library from the
// build tree, and a plug-in of the tests' own through a manifest.

#include <regex>
#include <sstream>

#include "ShellRun.h"
#include "support/PluginFolder.h"

namespace {

namespace fs = std::filesystem;
using namespace svcshtest;

// The manifest directory "abacus" for the tests' plug-in.
struct AbacusManifest : sftest::PluginFolder {
    const std::string directory =
        add("abacus",
            "<library><name>Abacus</name><path>Abacus</path><services>"
            "<service name='ZAMUnified::AbacusService' id='9100'/>"
            "<service name='acme::dev::ThermoService' id='9101'/>"
            "<service name='acme::dev::AbacusService' id='9102'/></services></library>",
            SVCSH_ABACUS_PLUGIN, "Abacus");
};

// Members carry their library's one-line descriptions, after the columns every member has.
const char* const kDescribeService = R"(HelloWorldService
properties:
  GreetedNames  list(std::string)  read-only   list          watchable      Everyone greeted by name, oldest first
  Greeting      std::string        read/write  value         watchable      The word sayHello greets with
  Guests        list(std::string)  read/write  mutable list  watchable      The guest list, replaced whole
  Owner         object             read-only   value         not watchable  Who owns the service
  Secret        zam::SecureString  read/write  value         not watchable  A secret, kept encrypted
methods:
  int add(int a, int b)
  std::string greetAll(list(std::string) names)  Greets everyone named, and remembers them
  std::string sayHello()  Greets the world
  std::string sayHello(std::string name)  Greets someone, and remembers the name
)";

// Secrets are masked there, unless revealed (OptionsScriptsAndExitStatuses).
TEST(ShellProcessTest, TheHelloScriptRunsFromTheSampleLibraryInTheBuildTree) {
    EXPECT_EQ((ShellRun{0,
                        std::string("Hello, World!\nHello, Ada Lovelace!\n42\n"
                                    "Hello, Grace Hopper! Hello, Linus!\n"
                                    "Ada Lovelace|Grace Hopper|Linus\nwatching greeting\n"
                                    "greeting = Good morning\nGood morning, World!\n"
                                    "stopped watching greeting\nAda\n37\n") +
                            kDescribeService +
                            "feature set 42876: started\n"
                            "feature set 42876: provisioned, started\n"
                            "feature set 42876: stopped\n"
                            "authenticator 1801: name \"HELLOWORLD\", display name \"Hello World "
                            "Sign-In\"\n********\n",
                        ""}),
              runShell({SVCSH_HELLO_SCRIPT}));
}

TEST(ShellProcessTest, JsonGivesOneTypedObjectPerResultNotificationAndFailure) {
    // A value's own JSON form is the text layer's (TextInterpreterTest), and a request's framing
    // is the console's too (ConsoleTest); here, the framing of commands and notifications.
    EXPECT_EQ(
        (ShellRun{
            1,
            R"j({"command":"watch HelloWorldService/GreetedNames as names","ok":true,"output":["watching names"]}
{"watch":"names","ok":true,"type":"list(std::string)","text":"Zed \"Z\"","value":["Zed \"Z\""],"change":[true,0,1]}
{"request":"HelloWorldService/sayHello(\"Zed \\\"Z\\\"\")","ok":true,"type":"std::string","text":"Hello, Zed \"Z\"!","value":"Hello, Zed \"Z\"!"}
{"request":"HelloWorldService/add(1, x)","ok":false,"error":"argument 'b' of add: \"x\" is not an int"}
{"command":"unwatch names","ok":true,"output":["stopped watching names"]}
{"command":"describe HelloWorldService/Owner","ok":true,"describe":{"interface":"HelloWorldOwner","properties":[{"name":"Age","type":"int","readOnly":false,"kind":"value","watchable":false},{"name":"Name","type":"std::string","readOnly":false,"kind":"value","watchable":true}],"methods":[]}}
)j",
            ""}),
        runShell(withLines(
            {"--json", "--keep-going"},
            {"watch HelloWorldService/GreetedNames as names",
             "HelloWorldService/sayHello(\"Zed \\\"Z\\\"\")", "HelloWorldService/add(1, x)",
             "unwatch names", "describe HelloWorldService/Owner"})));
}

TEST(ShellProcessTest, OptionsScriptsAndExitStatuses) {
    const std::string usage = runShell({"--help"}).out;
    EXPECT_EQ(0u, usage.find("usage: svcsh [options] [SCRIPT | -]\n")) << usage;
    const std::vector<std::string> lines{"HelloWorldService/add(1, x)",
                                         "HelloWorldService/sayHello"};
    const std::string notAnInt = "-e 1: argument 'b' of add: \"x\" is not an int\n";
    const std::string timeout = "svcsh: --timeout needs a number of milliseconds\n" + usage;
    const std::pair<std::vector<std::string>, ShellRun> cases[] = {
        // The first failure stops the run, unless told to keep going; the status says it failed.
        {withLines({}, lines), {1, "", notAnInt}},
        {withLines({"--keep-going"}, lines), {1, "Hello, World!\n", notAnInt}},
        {withLines({}, {"quit", "HelloWorldService/nope"}), {0, "", ""}},
        {withLines({"--reveal"}, {"HelloWorldService/Secret(securestring v=\"s3cret\")",
                                  "HelloWorldService/Secret"}),
         {0, "s3cret\n", ""}},
        // An argument problem is named before the usage, with status 2.
        {{"-h"}, {0, usage, ""}},
        {{"--bogus"}, {2, "", "svcsh: unknown option --bogus\n" + usage}},
        {{"serve", "--timeout", "12a"}, {2, "", timeout}},
        {{"serve", "--timeout", "1234567890"}, {2, "", timeout}},
        {{"serve", "--timeout", ""}, {2, "", timeout}},
        {{"/nonexistent/a.svc"},
         {2, "", "svcsh: cannot read /nonexistent/a.svc: No such file or directory\n"}},
        {{"--manifest", "/nonexistent/a"},
         {2, "", "error: no manifest file /nonexistent/a/a.xml\n"}},
    };
    for (const auto& [arguments, run] : cases) {
        EXPECT_EQ(run, runShell(arguments)) << testing::PrintToString(arguments);
    }
    // A script on standard input: line numbers in messages, comments and blank lines skipped.
    EXPECT_EQ((ShellRun{1, "Hello, World!\n",
                        "stdin:4: No Method or Property named \"nope\" was found.\n"}),
              runShell({},
                       "# greeting\n\nHelloWorldService/sayHello\nHelloWorldService/nope\n"
                       "HelloWorldService/sayHello\n"));
}

// Messages made by the text layer and by the shell's commands, each after its line's number; the
// shell survives every one of them and still serves the last line. Those of the console's own
// answers (no feature set, no authenticator named so, an exception's type) are ConsoleTest's.
// Unknown ids are answered without asking the loader, which would log that it has none. The
// script's first line watches the greeting.
TEST(ShellProcessTest, NEGATIVE_EachArgumentProblemIsNamedAndInterpreterMessagesPassUnchanged) {
    AbacusManifest abacus;
    // A line of the script, " => ", and what the shell says of it on standard error.
    std::istringstream table(
        R"(HelloWorldService/add(int a=1, intt b=2) => argument 'b' of add: unknown type "intt"
HelloWorldService/add(1, 2, 3) => argument 1 of add: give its type; no overload of add takes 3 arguments
HelloWorldService/add(c=1, b=2) => argument 'c' of add: give its type; no overload of add takes these argument names
HelloWorldService/greetAll(list(int) names="1;x") => argument 'names' of greetAll: "1;x" is not a list(int)
HelloWorldService/sayHello/size(1) => argument 1 of size: give its type; 'sayHello' is not an object
ZAMUnified::AbacusService/twice(5) => argument 'value' of twice: give its type; the overloads take int or std::string
HelloWorldService(1)/sayHello => the first step names a service, which takes no arguments
HelloWorldService/sayHello("a")/sayHello("b") => step 'sayHello' appears twice with different arguments; arguments belong to names, so split the request in two
ZAMUnified::AbacusService/jam => exception of a type that is not a std::exception
ZAMUnified::AbacusService/jamLater => a dispatcher task threw std::runtime_error: late failure
AbacusService/Total => the short name "AbacusService" is ambiguous: ZAMUnified::AbacusService, acme::dev::AbacusService; name one of them in full
HelloWorldService/add(a=1) => missing argument 'b' of add, which takes (int a, int b)
HelloWorldService/add => missing arguments 'a', 'b' of add, which takes (int a, int b)
HelloWorldService/Owner/Nope => No Method or Property named "Nope" was found. (at step 3 of 3, "Nope" on HelloWorldOwner)
auth 999 => no authenticator has id 999
describe HelloWorldService/sayHello/size => the value of HelloWorldService/sayHello is not an object
stats 10 => usage: stats [MILLISECONDS COUNT]
watch HelloWorldService/Greeting => already watching HelloWorldService/Greeting
unwatch nothing => not watching "nothing"
watch HelloWorldService/nope => Cannot subscribe Property "nope" because this property could not be found by Reflection.
watch HelloWorldService/Owner => cannot watch HelloWorldService/Owner: the property has no change notifier, so it announces no changes
)");
    std::string script = "watch HelloWorldService/Greeting\n";
    std::string expected;
    int number = 1;
    for (std::string row; std::getline(table, row);) {
        const std::size_t arrow = row.find(" => ");
        script += row.substr(0, arrow) + "\n";
        expected += "stdin:" + std::to_string(++number) + ": " + row.substr(arrow + 4) + "\n";
    }
    // jamLater itself succeeds (its 1); the task it queued fails the line when pumped after it.
    EXPECT_EQ((ShellRun{1, "watching HelloWorldService/Greeting\n1\n3\n", expected}),
              runShell({"--keep-going", "--manifest", abacus.directory},
                       script + "ZAMUnified::AbacusService/divide(b=2, a=7)\n"));
}

// The built-in records name libraries that the build does not make.
TEST(ShellProcessTest, AManifestNamedPluginIsFoundByEveryFormOfItsName) {
    AbacusManifest abacus;
    EXPECT_EQ(
        (ShellRun{
            0,
            "10\nabab\n12\n21\n21\n21\n"
            R"(NAME               TYPE                           ID     LIBRARY            LOADED
SystemService      ZAMUnified::SystemService      1000   SystemService      not installed
ConfigService      ZAMUnified::ConfigService      1300   ConfigService      not installed
HelloWorldService  ZAMUnified::HelloWorldService  42876  HelloWorldService  no
AbacusService      ZAMUnified::AbacusService      9100   Abacus             yes
ThermoService      acme::dev::ThermoService       9101   Abacus             yes
AbacusService      acme::dev::AbacusService       9102   Abacus             yes
)",
            ""}),
        runShell(withLines({"--manifest", abacus.directory},
                           {"ZAMUnified::AbacusService/twice(int 5)",
                            "ZAMUnified::AbacusService/twice(string \"ab\")", "9100/Total(12)",
                            "N10ZAMUnified13AbacusServiceE/getTotal", "ThermoService/Celsius",
                            "acme::dev::ThermoService/Celsius",
                            "N4acme3dev13ThermoServiceE/Celsius", "services"})));
}

TEST(ShellProcessTest, WatchesPrintEveryKindOfChangeUntilUnwatched) {
    EXPECT_EQ(
        (ShellRun{0,
                  "watching g\nwatching HelloWorldService/GreetedNames\nwatching guests\ng = Hi\n"
                  "HelloWorldService/GreetedNames = Ada (change: true, 0, 1)\nHi, Ada!\n"
                  "HelloWorldService/GreetedNames = Ada|Bob|Cy (change: true, 1, 2)\n"
                  "Hi, Bob! Hi, Cy!\nguests = a|b (change: true, 0, 0, 2)\n"
                  "guests = c (change: true, 0, 2, 1)\nstopped watching g\nBye, World!\n",
                  ""}),
        runShell(withLines(
            {},
            {"watch HelloWorldService/Greeting as g", "watch HelloWorldService/GreetedNames",
             "watch HelloWorldService/Guests as guests", "HelloWorldService/Greeting(\"Hi\")",
             "HelloWorldService/sayHello(\"Ada\")", "HelloWorldService/greetAll(names=\"Bob|Cy\")",
             "HelloWorldService/Guests(names=\"a|b\")", "HelloWorldService/Guests(names=\"c\")",
             "unwatch g", "HelloWorldService/Greeting(\"Bye\")", "HelloWorldService/sayHello"})));
}

TEST(ShellProcessTest, DescribeObjectsAndStartsByGuid) {
    // GUIDs count up from the process start, so the same lines give the same GUID every run.
    const std::string owner = runShell({"-e", "HelloWorldService/Owner"}).out;
    ASSERT_EQ(0u, owner.find("HelloWorldOwner "));
    const std::string guid = owner.substr(16, owner.size() - 17);
    // A path that ends in a method or a plain property describes that member.
    const std::string describeOwner =
        "properties:\n  Age   int          read/write  value  not watchable\n"
        "  Name  std::string  read/write  value  watchable\nmethods:\n  ";
    EXPECT_EQ(
        (ShellRun{0,
                  owner + "Grace\n36\nHelloWorldOwner\n" + describeOwner + guid +
                      "  HelloWorldOwner\nHelloWorldService/add: method of HelloWorldService\n"
                      "  int add(int a, int b)\nHelloWorldService/Owner/Name: property of "
                      "HelloWorldOwner\n  Name  std::string  read/write  value  watchable\n",
                  ""}),
        runShell(withLines(
            {}, {"HelloWorldService/Owner", "@" + guid + "/Name(\"Grace\")",
                 "HelloWorldService/Owner/Name", "UnifiedBusinessObject(\"" + guid + "\")/Age",
                 "describe @" + guid, "objects", "describe HelloWorldService/add",
                 "describe HelloWorldService/Owner/Name"})));
}

TEST(ShellProcessTest, NEGATIVE_AServiceThatCannotBeHadComesWithTheFactorysReason) {
    const std::string lib = (fs::path(SVCSH_RESOURCES_DIR).parent_path() / "lib" / "lib").string();
    const std::string opened =
        "could not be opened: " + lib +
        "SystemService.so: cannot open shared object file: No such file or directory";
    const std::string why = ": why: The library SystemService " + opened + "\n";
    // The framework logs load failures itself; the shell's own lines are the rest. The library
    // listing shows which library failed and why; the others were never asked for.
    ShellRun run = runShell(withLines(
        {"--keep-going"}, {"SystemService/Name", "1000/Name", "Nobody/Name", "libraries"}));
    run.out = std::regex_replace(run.out, std::regex("  provides .*\n"), "");
    run.err = std::regex_replace(run.err, std::regex(".* ERROR \\[.*\n"), "");
    EXPECT_EQ((ShellRun{1,
                        "SystemService (failed: " + opened + "): " + lib + "SystemService.so\n" +
                            "ConfigService (not installed): " + lib + "ConfigService.so\n" +
                            "HelloWorldService (not loaded): " + lib + "HelloWorldService.so\n",
                        "-e 1: No Service called \"SystemService\" was found.\n-e 1" + why +
                            "-e 2: No Service called \"1000\" was found.\n-e 2" + why +
                            "-e 3: No Service called \"Nobody\" was found.\n"}),
              run);
    EXPECT_EQ(
        "{\"request\":\"SystemService/Name\",\"ok\":false,\"error\":\"No Service called "
        "\\\"SystemService\\\" was found.\",\"why\":\"The library SystemService " +
            opened + "\"}\n",
        runShell({"--json", "-e", "SystemService/Name"}).out);
}

// Each figure describes this process: every line the shell ran is a dispatcher task, and the
// sample library counts its objects in the monitor. The times are masked.
TEST(ShellProcessTest, StatsAndMonitorDescribeWhatHappenedInThisProcess) {
    ShellRun run =
        runShell(withLines({}, {"HelloWorldService/add(1, 2)", "monitor", "stats", "stats 1 2"}));
    run.out = std::regex_replace(run.out, std::regex("[0-9]+\\.[0-9]{3} ms"), "T ms");
    // Three snapshots after the two lines before them; the stats lines pump, and are no task.
    const std::string stats =
        "dispatcher: 0 queued, idle\n  tasks run 2, over the guard time 0, longest execution T ms, "
        "longest wait T ms, last completion T ms ago\nbackground pool: 4 threads alive, 0 busy, "
        "queued 0 urgent and 0 normal, tasks run 0\n";
    EXPECT_EQ((ShellRun{0,
                        "3\nobjects alive: 2\n  HelloWorldOwner: 1\n  HelloWorldService: 1\n"
                        "objects created: 2\n  HelloWorldOwner: 1\n  HelloWorldService: 1\n" +
                            stats + stats + stats,
                        ""}),
              run);
}

// The table is the checker's (PluginCheckTest); the process answers the worst status of all the
// directories, and says a missing directory once, in the table, without logging it besides.
TEST(ShellProcessTest, CheckReportsAPlugInDirectory) {
    AbacusManifest abacus;
    ShellRun run = runShell({"check", abacus.directory});
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.out.find("\n0 problems\n")) << run.out;
    run = runShell({"check", abacus.directory, "/nonexistent/nothing"});
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("", run.err);
    EXPECT_NE(std::string::npos, run.out.find("PROBLEM: no such file\n1 problem\n")) << run.out;
    EXPECT_EQ(2, runShell({"check"}).status);
}

}  // namespace
