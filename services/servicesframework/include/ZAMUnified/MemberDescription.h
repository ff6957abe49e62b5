// ZAMUnified::MemberDescription: a one-line description that a property or a method overload
// carries for people (what `describe` and the JSON form show beside its type). A member class
// derives from it beside Property or Method; the reflection helpers' members always do. It is a
// separate interface so that properties and methods written before it keep their layout.
// Threading: the text is fixed once the member is made; any thread. Failure: none.
#ifndef ZAMUNIFIED_MEMBERDESCRIPTION_H
#define ZAMUNIFIED_MEMBERDESCRIPTION_H

#include <string>

namespace ZAMUnified {

class MemberDescription {
  public:
    virtual ~MemberDescription();
    // "" when the member has none.
    virtual std::string getDescription() const = 0;
};

// The description of a Property or Method that carries one; "" for any other member.
template <typename Member>
std::string descriptionOf(const Member& member) {
    const auto* described = dynamic_cast<const MemberDescription*>(&member);
    return described ? described->getDescription() : std::string();
}

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_MEMBERDESCRIPTION_H
