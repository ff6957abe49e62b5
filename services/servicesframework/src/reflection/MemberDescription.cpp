#include <ZAMUnified/MemberDescription.h>

namespace ZAMUnified {

// Defined here so that the interface's type information lives in the framework alone, and a
// plug-in's members are recognised by the framework's casts.
MemberDescription::~MemberDescription() = default;

}  // namespace ZAMUnified
