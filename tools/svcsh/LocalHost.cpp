// The host that is this process: the console's API called in-process on the dispatcher thread.
#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "Host.h"

namespace svcsh {

namespace {

using namespace ZAMUnified;

std::string demangle(const char* mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string text = status == 0 && plain != nullptr ? plain : mangled;
    std::free(plain);
    return text;
}

class LocalHost : public Host {
  public:
    LocalHost(ServiceFactory& factory, std::shared_ptr<UnifiedFactory> unified, bool reveal)
        : factory_(factory), unified_(unified), api_(std::move(unified), TextOptions{reveal}) {}

    ConsoleAnswer call(const std::string& method, const std::string& target,
                       const std::string& body) override {
        return api_.handle(method, target, body);
    }
    ConsoleAnswer run(const std::string& line) override {
        ConsoleCall call;
        call.kind = ConsoleCall::Kind::Run;
        call.text = line;
        return api_.execute(call);
    }
    ConsoleAnswer watch(const std::string& path, const std::string& label,
                        std::function<void(const std::string&)> event) override {
        return api_.watch(path, label, std::move(event));
    }
    ConsoleAnswer unwatch(const std::string& label) override { return api_.unwatch(label); }

    void runLine(const std::function<void()>& line, const std::string& name) override {
        // The line is a dispatcher task like any other (it runs at once, on this thread), so the
        // dispatcher's figures and its running-task guard count it.
        unified_->getServicesDispatcher()->enqueueBlock(line, name, false, true);
    }

    bool pump(const std::function<void(const std::string&)>& failed) override {
        // A task that throws reaches the pumping host, and the tasks behind it stay queued: the
        // shell reports it and pumps on.
        bool ok = true;
        for (;;) {
            std::string failure;
            try {
                factory_.pumpAllDispatcherTasks();
                return ok;
            } catch (UnifiedException& error) {
                failure = error.getInterfaceName() + ": " + error.getMessage();
            } catch (const std::exception& error) {
                failure = demangle(typeid(error).name()) + ": " + error.what();
            } catch (...) {
                failure = "an exception that is not a std::exception";
            }
            ok = false;
            failed(failure);
        }
    }

    void wait(std::chrono::milliseconds limit) override {
        factory_.waitForDispatcherTask(static_cast<long>(limit.count()));
    }

    std::vector<std::string> memberNames(const std::string& path) override {
        return api_.text().memberNames(path);
    }
    std::string remoteEndpoint() const override { return ""; }
    ServiceFactory* localFactory() override { return &factory_; }

  private:
    ServiceFactory& factory_;
    std::shared_ptr<UnifiedFactory> unified_;
    // Last, so that it ends its watches while the output they print to still exists.
    ConsoleApi api_;
};

}  // namespace

std::unique_ptr<Host> makeLocalHost(ServiceFactory& factory,
                                    std::shared_ptr<UnifiedFactory> unified, bool revealSecrets) {
    return std::make_unique<LocalHost>(factory, std::move(unified), revealSecrets);
}

}  // namespace svcsh
