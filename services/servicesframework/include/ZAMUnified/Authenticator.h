// ZAMUnified::Authenticator: the interface of an authenticator that a service library registers
// with UnifiedFactory::setAuthenticator. The framework calls nothing on it but its destructor.
// Threading: the factory stores and hands out its shared pointer from any thread under its own
// lock, and drops its references in Reset() outside that lock (the destructor may call it).
// Failure: nothing here fails; a look-up that finds no authenticator answers an empty pointer.
#ifndef ZAMUNIFIED_AUTHENTICATOR_H
#define ZAMUNIFIED_AUTHENTICATOR_H

namespace ZAMUnified {

class Authenticator {
  public:
    virtual ~Authenticator();
};

}  // namespace ZAMUnified

#endif  // ZAMUNIFIED_AUTHENTICATOR_H
