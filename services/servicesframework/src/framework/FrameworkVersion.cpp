#include <ZAMUnified/FrameworkVersion.h>

namespace ZAMUnified {

FrameworkInterfaceVersion frameworkInterfaceVersion() {
    // The constant as this library was compiled, not as the caller's headers say.
    return kFrameworkInterfaceVersion;
}

std::string frameworkVersionText(FrameworkInterfaceVersion version) {
    return std::to_string(version.majorVersion) + "." + std::to_string(version.minorVersion);
}

bool isCompatibleFrameworkVersion(FrameworkInterfaceVersion builtAgainst,
                                  FrameworkInterfaceVersion framework) {
    return builtAgainst.majorVersion == framework.majorVersion &&
           builtAgainst.minorVersion <= framework.minorVersion;
}

std::string frameworkVersionSymbol(const std::string& libraryName) {
    return "ZAMUnifiedFrameworkVersion_" + libraryName;
}

}  // namespace ZAMUnified
