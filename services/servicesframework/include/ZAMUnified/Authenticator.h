// ZAMUnified::Authenticator: the interface of an authenticator that a service library registers
// with UnifiedFactory::setAuthenticator. The framework only stores and hands it out.
//
// Threading: whatever the implementation states; the framework only copies the shared pointer.
// Failure: nothing here fails.
#ifndef ZAMUNIFIED_AUTHENTICATOR_H
#define ZAMUNIFIED_AUTHENTICATOR_H

namespace ZAMUnified {

class Authenticator {
  public:
    virtual ~Authenticator();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_AUTHENTICATOR_H
