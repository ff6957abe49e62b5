// The fixed table of default authenticators, which names the well-known authenticator ids when no
// library has registered a name for them (UnifiedFactory::getDefaultAuthenticatorName and Id).
// Threading: any thread; the table is constant. Failure: none; an id or a name the table does not
// hold is answered by its decimal text or value.
#ifndef SERVICESFRAMEWORK_FRAMEWORK_DETAIL_DEFAULTAUTHENTICATORS_H
#define SERVICESFRAMEWORK_FRAMEWORK_DETAIL_DEFAULTAUTHENTICATORS_H

#include <string>

#include "common/detail/Visibility.h"

namespace ZAMUnified {
namespace detail {

// The table's name of the id; the id's decimal text when the table names none for it.
SF_HIDDEN std::string defaultAuthenticatorName(unsigned int id);

// The id of the first entry whose name equals `name` case-blind; otherwise `name` read as a
// decimal number, or 0 when it is not one.
SF_HIDDEN unsigned int defaultAuthenticatorId(const std::string& name);

}  // namespace detail
}  // namespace ZAMUnified

#endif  // SERVICESFRAMEWORK_FRAMEWORK_DETAIL_DEFAULTAUTHENTICATORS_H
