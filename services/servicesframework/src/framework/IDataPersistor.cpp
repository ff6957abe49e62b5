#include <ZAMUnified/IDataPersistor.h>

namespace ZAMUnified {

// Out of line, so that the type information lives in the framework library alone.
IDataPersistor::~IDataPersistor() = default;

}  // namespace ZAMUnified
