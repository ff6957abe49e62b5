#include <ZAMUnified/PropertyNotifier.h>

namespace ZAMUnified {

PropertyNotifierConnection::~PropertyNotifierConnection() = default;

PropertyNotifier::~PropertyNotifier() = default;

}  // namespace ZAMUnified
