// ZAMUnified::IDataPersistor: the persistence interface a host hands to the factory with
// UnifiedFactory::setDataPersistor, for services to fetch with getDataPersistor; the framework
// calls nothing on it.
// Threading: set and fetched from any thread under the factory's lock; services then call it on
// their own threads, so it must be safe on each of them. Reset() keeps it.
// Failure: nothing here fails; getDataPersistor answers an empty pointer until a host sets one.
#ifndef ZAMUNIFIED_IDATAPERSISTOR_H
#define ZAMUNIFIED_IDATAPERSISTOR_H

namespace ZAMUnified {

class IDataPersistor {
  public:
    virtual ~IDataPersistor();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_IDATAPERSISTOR_H
