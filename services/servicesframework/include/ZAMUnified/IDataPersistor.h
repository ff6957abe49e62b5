// ZAMUnified::IDataPersistor: the persistence interface a host hands to the factory with
// UnifiedFactory::setDataPersistor. The framework only keeps it and hands it out.
//
// Threading: whatever the implementation states; the framework only copies the shared pointer.
// Failure: nothing here fails.
#ifndef ZAMUNIFIED_IDATAPERSISTOR_H
#define ZAMUNIFIED_IDATAPERSISTOR_H

namespace ZAMUnified {

class IDataPersistor {
  public:
    virtual ~IDataPersistor();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_IDATAPERSISTOR_H
