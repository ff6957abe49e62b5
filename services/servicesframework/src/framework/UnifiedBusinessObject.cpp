#include <ZAMUnified/UnifiedBusinessObject.h>

#include <ZAMUnified/UnifiedBusinessObjectNotifiers.h>
#include <ZAMUnified/UnifiedBusinessObjectObserver.h>

namespace ZAMUnified {

UnifiedBusinessObject::~UnifiedBusinessObject() = default;

std::string UnifiedBusinessObject::getInterfaceName() {
    return "UnifiedBusinessObject";
}

UnifiedBusinessObjectObserver::~UnifiedBusinessObjectObserver() = default;

UnifiedBusinessObjectNotifiers::~UnifiedBusinessObjectNotifiers() = default;

UnifiedBusinessObjectNotifiersImpl::~UnifiedBusinessObjectNotifiersImpl() = default;

}  // namespace ZAMUnified
