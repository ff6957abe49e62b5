#include "interpreter/detail/ServiceNames.h"

#include "framework/detail/LibraryManifestReader.h"

#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/LibraryRecord.h>
#include <ZAMUnified/TypeMap.h>

#include <KORCoreUtils.h>

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace ZAMUnified {
namespace detail {

std::string demangledName(const std::string& mangled) {
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    if (status != 0 || plain == nullptr) {
        return mangled;
    }
    std::string text(plain);
    std::free(plain);
    return text;
}

std::string lastNameComponent(const std::string& qualified) {
    const std::size_t colons = qualified.rfind("::");
    return colons == std::string::npos ? qualified : qualified.substr(colons + 2);
}

bool parseServiceId(const std::string& text, unsigned int& id) {
    try {
        id = KORCoreUtils::toUnsignedInt(text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

ServiceKey serviceKeyFor(UnifiedFactory& factory, const std::string& name) {
    ServiceKey key;
    if (!name.empty() &&
        std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        key.byId = parseServiceId(name, key.id);
        return key;
    }
    if (name.find("::") != std::string::npos) {
        key.mangled = mangledTypeName(name);
        return key;
    }
    // A short class name: every service of that name, registered or promised by a record.
    std::vector<std::string> matches;
    auto consider = [&](const std::string& mangled) {
        if (lastNameComponent(demangledName(mangled)) == name &&
            std::find(matches.begin(), matches.end(), mangled) == matches.end()) {
            matches.push_back(mangled);
        }
    };
    for (const auto& entry : factory.getServiceRegistry()->itemsByName()) {
        consider(entry.first);
    }
    if (auto loader = factory.getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (const std::string& mangled : record.serviceNames) {
                consider(mangled);
            }
        }
    }
    if (matches.size() == 1) {
        key.mangled = matches.front();
        return key;
    }
    if (matches.size() > 1) {
        for (const std::string& mangled : matches) {
            key.ambiguous.push_back(demangledName(mangled));
        }
        std::sort(key.ambiguous.begin(), key.ambiguous.end());
        return key;
    }
    // A mangled name is the factory's key as it is; any other plain name is no service's.
    if (name.size() > 2 && name.front() == 'N' && name.back() == 'E' &&
        std::isdigit(static_cast<unsigned char>(name[1]))) {
        key.mangled = name;
    }
    return key;
}

}  // namespace detail
}  // namespace ZAMUnified
