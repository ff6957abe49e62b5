#include "interpreter/detail/ServiceNames.h"

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

namespace {

// "A::B" -> "N1A1BE", the form under which service libraries register their types; empty for
// a name that is not qualified.
std::string mangle(const std::string& qualified) {
    std::string mangled = "N";
    std::size_t begin = 0;
    int pieces = 0;
    for (;;) {
        const std::size_t colons = qualified.find("::", begin);
        const std::string piece = qualified.substr(begin, colons - begin);
        if (piece.empty()) {
            return "";
        }
        mangled += std::to_string(piece.size()) + piece;
        ++pieces;
        if (colons == std::string::npos) {
            break;
        }
        begin = colons + 2;
    }
    return pieces < 2 ? "" : mangled + "E";
}

}  // namespace

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
        key.mangled = mangle(name);
        return key;
    }
    for (const auto& entry : factory.getServiceRegistry()->itemsByName()) {
        if (lastNameComponent(demangledName(entry.first)) == name) {
            key.mangled = entry.first;
            return key;
        }
    }
    if (auto loader = factory.getLibraryLoader()) {
        for (const LibraryRecord& record : loader->getLibraryRecords()) {
            for (const std::string& mangled : record.serviceNames) {
                if (lastNameComponent(demangledName(mangled)) == name) {
                    key.mangled = mangled;
                    return key;
                }
            }
        }
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
