#include "PluginCheck.h"

#include <KORCoreUtils.h>
#include <ZAMUnified/FeatureSet.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/LibraryRecord.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

#include <dlfcn.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace svcsh {

namespace {

using ZAMUnified::LibraryRecord;
using ZAMUnified::UnifiedFactory;

constexpr std::size_t kKindWidth = 18;
constexpr std::size_t kKeyWidth = 42;

// Prints the rows and counts the problems among them.
class Table {
  public:
    explicit Table(std::ostream& out) : out_(out) { row("KIND", "KEY", "RESULT"); }
    void ok(const std::string& kind, const std::string& key, const std::string& result) {
        row(kind, key, result);
    }
    void problem(const std::string& kind, const std::string& key, const std::string& result) {
        row(kind, key, "PROBLEM: " + result);
        ++problems_;
    }
    int problems() const { return problems_; }
    void summary() { out_ << problems_ << (problems_ == 1 ? " problem" : " problems") << "\n"; }

  private:
    void row(const std::string& kind, const std::string& key, const std::string& result) {
        out_ << pad(kind, kKindWidth) << pad(key, kKeyWidth) << result << "\n";
    }
    // At least one blank after a long cell, so the columns still part.
    static std::string pad(const std::string& text, std::size_t width) {
        return text.size() < width ? text + std::string(width - text.size(), ' ') : text + " ";
    }

    std::ostream& out_;
    int problems_ = 0;
};

std::string withoutTrailingSeparators(std::string directory) {
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    return directory;
}

bool containsCaseBlind(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&name](const std::string& candidate) {
        return KORCoreUtils::caseInsensitiveStringEquals(candidate, name);
    });
}

std::string keyText(const std::string& key) {
    return key;
}

std::string keyText(unsigned int key) {
    return KORCoreUtils::toString(key);
}

template <typename T>
bool contains(const std::vector<T>& list, const T& key) {
    return std::find(list.begin(), list.end(), key) != list.end();
}

// One row per key promised or registered, promised ones first in manifest order, then the
// registered ones the manifest does not list, in ascending order.
template <typename Key, typename Describe>
void compareKeys(Table& table, const std::string& kind, const std::vector<Key>& promised,
                 const std::vector<Key>& registered, Describe describeRegistered) {
    std::vector<Key> seen;
    for (const Key& key : promised) {
        if (contains(seen, key)) {
            continue;
        }
        seen.push_back(key);
        const std::string text = keyText(key);
        if (contains(registered, key)) {
            describeRegistered(key, text);
        } else {
            table.problem(kind, text, "listed in the manifest, not registered");
        }
    }
    for (const Key& key : registered) {
        if (!contains(promised, key)) {
            table.problem(kind, keyText(key), "registered, not listed in the manifest");
        }
    }
}

// Whether the interpreter could drive the service: a reflector function answers for its
// interface name.
void reportReflector(Table& table, const std::string& key,
                     const std::shared_ptr<ZAMUnified::UnifiedService>& service) {
    auto object = std::dynamic_pointer_cast<ZAMUnified::UnifiedBusinessObject>(service);
    std::string interfaceName;
    std::shared_ptr<ZAMUnified::Reflector> reflector;
    try {
        if (object) {
            interfaceName = object->getInterfaceName();
            reflector = ZAMUnified::ReflectorFactory::GetReflector(object);
        }
    } catch (const std::exception& error) {
        table.problem("service", key, std::string("its reflector threw: ") + error.what());
        return;
    } catch (...) {
        table.problem("service", key, "its reflector threw an exception");
        return;
    }
    if (reflector) {
        table.ok("service", key, "ok: registered, has a reflector");
    } else {
        table.problem("service", key,
                      "registered, no reflector for interface \"" + interfaceName + "\"");
    }
}

void compareServices(Table& table, const LibraryRecord& record, UnifiedFactory& factory) {
    const auto byName = factory.getServiceRegistry()->itemsByName();
    const auto byId = factory.getServiceRegistry()->itemsById();
    std::vector<std::string> names;
    for (const auto& entry : byName) {
        names.push_back(entry.first);
    }
    std::vector<unsigned int> ids;
    for (const auto& entry : byId) {
        ids.push_back(entry.first);
    }
    auto serviceNamed = [&byName](const std::string& name) {
        for (const auto& entry : byName) {
            if (entry.first == name) {
                return entry.second;
            }
        }
        return std::shared_ptr<ZAMUnified::UnifiedService>();
    };
    compareKeys(table, "service", record.serviceNames, names,
                [&](const std::string& name, const std::string& text) {
                    reportReflector(table, text, serviceNamed(name));
                });
    // A service registered under a name the manifest does not list still deserves the reflector
    // check: the interpreter would reach it by that name.
    for (const auto& entry : byName) {
        if (!contains(record.serviceNames, entry.first)) {
            reportReflector(table, entry.first, entry.second);
        }
    }
    compareKeys(table, "service id", record.serviceIds, ids,
                [&table](unsigned int, const std::string& text) {
                    table.ok("service id", text, "ok: registered");
                });
}

void compareFeatureSets(Table& table, const LibraryRecord& record, UnifiedFactory& factory) {
    std::vector<std::string> names;
    for (const auto& entry : factory.getFeatureSetRegistry()->itemsByName()) {
        names.push_back(entry.first);
    }
    std::vector<unsigned int> ids;
    for (const auto& entry : factory.getFeatureSetRegistry()->itemsById()) {
        ids.push_back(entry.first);
    }
    compareKeys(table, "feature set", record.featureSetNames, names,
                [&table](const std::string&, const std::string& text) {
                    table.ok("feature set", text, "ok: registered");
                });
    compareKeys(table, "feature set id", record.featureSetIds, ids,
                [&table](unsigned int, const std::string& text) {
                    table.ok("feature set id", text, "ok: registered");
                });
}

void compareAuthenticators(Table& table, const LibraryRecord& record, UnifiedFactory& factory) {
    const auto registered = factory.getRegisteredAuthenticators();
    std::vector<unsigned int> ids;
    std::vector<std::string> names;
    for (const auto& entry : registered) {
        ids.push_back(entry.first);
        names.push_back(entry.second);
    }
    // Names are matched case-blind, as the loader and the factory match them.
    std::vector<std::string> seen;
    for (const std::string& name : record.authenticatorNames) {
        if (containsCaseBlind(seen, name)) {
            continue;
        }
        seen.push_back(name);
        if (containsCaseBlind(names, name)) {
            table.ok("authenticator", name, "ok: registered");
        } else {
            table.problem("authenticator", name, "listed in the manifest, not registered");
        }
    }
    for (const auto& entry : registered) {
        if (!containsCaseBlind(record.authenticatorNames, entry.second)) {
            table.problem("authenticator", entry.second,
                          "registered (id " + KORCoreUtils::toString(entry.first) +
                              "), not listed in the manifest");
        }
    }
    compareKeys(table, "authenticator id", record.authenticatorIds, ids,
                [&table](unsigned int, const std::string& text) {
                    table.ok("authenticator id", text, "ok: registered");
                });
}

// Whether the opened library recorded a framework interface version this framework refuses.
bool refusedForItsFrameworkVersion(const LibraryRecord& record) {
    const auto* builtAgainst = static_cast<const ZAMUnified::FrameworkInterfaceVersion*>(
        dlsym(record.handle, ZAMUnified::frameworkVersionSymbol(record.name).c_str()));
    return builtAgainst != nullptr && !ZAMUnified::isCompatibleFrameworkVersion(
                                          *builtAgainst, ZAMUnified::frameworkInterfaceVersion());
}

// Opens and injects a copy of the manifest's record into `factory`; false when nothing was
// injected, so that there is nothing to compare.
bool loadLibrary(Table& table, const LibraryRecord& listed, UnifiedFactory& factory) {
    auto record = std::make_shared<LibraryRecord>(listed);
    factory.getLibraryLoader()->LoadAndInjectLibrary(record);
    // The factory's dispatcher thread is this one, so the load has run by now.
    if (record->handle == nullptr) {
        table.problem("library", record->name, record->loadFailure);
        return false;
    }
    const std::string noEntry = "has no injection entry Inject" + record->name;
    if (record->loadFailure == noEntry || refusedForItsFrameworkVersion(*record)) {
        table.problem("library", record->name, record->loadFailure);
        return false;
    }
    if (!record->loadFailure.empty()) {
        // What it registered before it threw is still compared below.
        table.problem("library", record->name, record->loadFailure);
        return true;
    }
    table.ok("library", record->name, "ok: opened and injected");
    if (!record->frameworkVersion.empty()) {
        table.ok("framework", record->frameworkVersion,
                 "ok: this framework has interface version " +
                     ZAMUnified::frameworkVersionText(ZAMUnified::frameworkInterfaceVersion()));
    }
    return true;
}

// An authenticator id that another record also claims is answered by whichever record the factory
// asks first: the built-in ones come before every manifest.
void flagSharedAuthenticatorIds(Table& table, const LibraryRecord& record,
                                const std::vector<LibraryRecord>& others) {
    for (unsigned int id : record.authenticatorIds) {
        for (const LibraryRecord& other : others) {
            const auto& ids = other.authenticatorIds;
            if (other.name != record.name && std::find(ids.begin(), ids.end(), id) != ids.end()) {
                table.problem("authenticator id", std::to_string(id),
                              "also claimed by the library record " + other.name +
                                  ", which the factory asks first");
            }
        }
    }
}

}  // namespace

int checkPluginDirectory(const std::string& directory, std::ostream& out) {
    const std::string dir = withoutTrailingSeparators(directory);
    const std::string manifestPath = dir + "/" + KORCoreUtils::FileUtils::getFileName(dir) + ".xml";
    out << "Checking plug-in directory " << dir << "\n";
    Table table(out);

    std::error_code missing;
    if (!std::filesystem::is_regular_file(manifestPath, missing)) {
        // Said once, in the table: the loader would also log it.
        table.problem("manifest", manifestPath, "no such file");
        table.summary();
        return kCheckUnreadable;
    }

    auto factory = std::make_shared<UnifiedFactory>();
    factory->Init();
    std::shared_ptr<ZAMUnified::LibraryLoader> loader = factory->getLibraryLoader();
    // The records every host has before any manifest: one that claims an id the manifest claims
    // answers for it first.
    const std::vector<LibraryRecord> builtIn = loader->getLibraryRecords();
    // Only the manifest's record may answer here: a built-in record listing the same names would
    // otherwise be found first.
    loader->UnloadLibraries();
    loader->LoadLibraryManifest(dir);

    const std::vector<ZAMUnified::LibraryStatus> statuses = loader->getLibraryStatuses();
    const std::vector<std::string> manifestProblems = loader->getManifestProblems();
    for (const std::string& problem : manifestProblems) {
        table.problem("manifest", manifestPath, problem);
    }
    int status = kCheckPassed;
    if (statuses.empty()) {
        status = kCheckUnreadable;
    } else {
        if (manifestProblems.empty()) {
            table.ok("manifest", manifestPath, "ok");
        }
        const LibraryRecord& record = statuses.front().record;
        if (!record.version.empty()) {
            table.ok("version", record.version, "ok: the library's version");
        }
        if (loadLibrary(table, record, *factory)) {
            compareServices(table, record, *factory);
            compareFeatureSets(table, record, *factory);
            compareAuthenticators(table, record, *factory);
        }
        flagSharedAuthenticatorIds(table, record, builtIn);
        status = table.problems() == 0 ? kCheckPassed : kCheckProblems;
    }
    table.summary();
    // Breaks the factory's cycle with its loader and lets the library's objects go.
    factory->Reset();
    return status;
}

}  // namespace svcsh
