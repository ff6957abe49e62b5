#include "framework/detail/DefaultAuthenticators.h"

#include <KORCoreUtils.h>

namespace ZAMUnified {
namespace detail {

namespace {

struct DefaultAuthenticator {
    unsigned int id;
    const char* name;
    bool byName;  // whether defaultAuthenticatorName answers this name
};

const DefaultAuthenticator kDefaultAuthenticators[] = {
    {1000, "TALON", true},   {1001, "PYLON", true},    {1200, "HERON", true},
    {1201, "Lumio", true},   {1404, "Quillbox", true}, {1500, "ROSTER", true},
    {1800, "PRISM", true},   {1877, "Bazaar", true},   {2000, "CONFLUX", true},
    {2100, "KESTREL", true}, {3000, "GATHER", false},
};

}  // namespace

std::string defaultAuthenticatorName(unsigned int id) {
    for (const DefaultAuthenticator& entry : kDefaultAuthenticators) {
        if (entry.id == id && entry.byName) {
            return entry.name;
        }
    }
    return KORCoreUtils::toString(id);
}

unsigned int defaultAuthenticatorId(const std::string& name) {
    for (const DefaultAuthenticator& entry : kDefaultAuthenticators) {
        if (KORCoreUtils::caseInsensitiveStringEquals(entry.name, name)) {
            return entry.id;
        }
    }
    return KORCoreUtils::toUnsignedInt(name, 0);
}

}  // namespace detail
}  // namespace ZAMUnified
