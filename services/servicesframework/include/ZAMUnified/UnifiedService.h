// ZAMUnified::UnifiedService: the interface every service of a service library implements. A
// service is a business object that the factory keeps by mangled type name and by id.
//
// Threading: as its business object; state changes belong to the dispatcher thread.
// Failure: nothing here fails; look-ups of services answer an empty pointer.
#ifndef ZAMUNIFIED_UNIFIEDSERVICE_H
#define ZAMUNIFIED_UNIFIEDSERVICE_H

#include <ZAMUnified/UnifiedBusinessObject.h>

namespace ZAMUnified {

class UnifiedService : public virtual UnifiedBusinessObject {
  public:
    ~UnifiedService() override;
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_UNIFIEDSERVICE_H
