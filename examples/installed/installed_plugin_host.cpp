// A host built against the installed framework that makes a service library known through its
// manifest and loads it on demand: GetFactory, addLibraryManifest, getService.
#include <ServicesFramework.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

int main() {
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/sf-installed-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return 2;
    }
    // The manifest of a library installed in directory D is D/<last component of D>.xml.
    const fs::path dir = fs::path(pattern) / "installedplugin";
    fs::create_directories(dir);
    std::ofstream(dir / "installedplugin.xml")
        << "<library><name>InstalledPlugin</name><path>InstalledPlugin</path>"
           "<services><service name='ZAMUnified::InstalledService' id='9900'/></services>"
           "</library>\n";
    fs::create_symlink(INSTALLED_PLUGIN_FILE, dir / "libInstalledPlugin.so");

    const wchar_t* name = nullptr;
    ZAMUnified::ServiceFactory* factory = nullptr;
    GetFactory(&name, &factory);
    int status = 1;
    // The first call that reaches the unified factory makes this thread the dispatcher thread.
    if (factory->addLibraryManifest(dir.string())) {
        auto service = factory->getService(9900u);
        if (service && service->getInterfaceName() == "InstalledService" &&
            factory->getService("N10ZAMUnified16InstalledServiceE") == service) {
            status = 0;
        }
        service.reset();
        factory->reset();
    }
    fs::remove_all(pattern);
    std::printf("installed plug-in: %s\n", status == 0 ? "loaded and registered" : "FAILED");
    return status;
}
