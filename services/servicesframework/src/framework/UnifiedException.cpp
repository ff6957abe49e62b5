#include <ZAMUnified/UnifiedException.h>

namespace ZAMUnified {

std::string UnifiedException::getInterfaceName() {
    return "UnifiedException";
}

UnifiedException::~UnifiedException() = default;

}  // namespace ZAMUnified
