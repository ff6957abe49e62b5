#include <ZAMUnified/DispatcherAccessException.h>

namespace ZAMUnified {

std::string DispatcherAccessException::getInterfaceName() {
    return "DispatcherAccessException";
}

}  // namespace ZAMUnified
