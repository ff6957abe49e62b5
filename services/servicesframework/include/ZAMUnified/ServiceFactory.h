// ZAMUnified::ServiceFactory: the host's door into the framework, obtained through GetFactory or
// getInstance(): pumps the dispatcher and hands out services, creating the unified factory on
// first use. Threading: pumps and waits on the host's dispatcher thread; getService from any
// thread. Failure: getService answers an empty pointer; the rest reports through the log. Hosts
// reach the unified factory and its library loader through it, and add manifests.
#ifndef ZAMUNIFIED_SERVICEFACTORY_H
#define ZAMUNIFIED_SERVICEFACTORY_H

#include <memory>
#include <string>

#include <ZAMUnified/ServicesDispatcherCallback.h>
#include <ZAMUnified/UnifiedService.h>

namespace ZAMUnified {

class LibraryLoader;
class UnifiedFactory;

class ServiceFactory {
  public:
    virtual void pumpAllDispatcherTasks() = 0;
    virtual void pumpNextDispatcherTask() = 0;
    // As ServicesDispatcher::waitForDispatcherTask: a time the clock cannot reach (LONG_MAX
    // among them) waits without limit.
    virtual void waitForDispatcherTask() = 0;
    virtual void waitForDispatcherTask(long milliseconds) = 0;
    virtual void resetDispatcherThread() = 0;
    virtual void setDispatcherCallback(std::shared_ptr<ServicesDispatcherCallback> callback) = 0;
    // Empties the unified factory and initialises it again; does nothing before first use.
    virtual void reset() = 0;
    virtual std::shared_ptr<UnifiedService> getService(unsigned int id) = 0;
    virtual ~ServiceFactory();
    virtual std::shared_ptr<UnifiedService> getService(const std::string& name) = 0;

    // The process-wide factory; every call returns the same object, which lives until the
    // process ends.
    static std::shared_ptr<ServiceFactory> getInstance();

    // The unified factory behind this one, created on first use (so call it first on the thread
    // that will pump); empty for a ServiceFactory that is not the framework's own.
    std::shared_ptr<UnifiedFactory> getUnifiedFactory();
    // The unified factory's library loader: its records, their states and load failures, and
    // further manifests; empty as above.
    std::shared_ptr<LibraryLoader> getLibraryLoader();
    // Makes the service library described by DIR/<last component of DIR>.xml known, so that its
    // services load on first use; true when the manifest added a record. A missing or faulty
    // manifest adds none: its problems go to the log and to the loader's getManifestProblems().
    // Call on the dispatcher thread; a reset() drops manifest records, so add them again after.
    bool addLibraryManifest(const std::string& directory);
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_SERVICEFACTORY_H
