// Naming of the calling thread, so that framework threads show their names in a debugger and in
// process listings.
//
// Threading: names the calling thread only.
// Failure: a nonzero result of the operating system is printed to standard error; nothing throws.
#ifndef ZAM_THREADNAME_H
#define ZAM_THREADNAME_H

#include <string>

namespace zam {

// A name longer than 15 characters is cut to its first 14, then handed to the operating system.
void SetThreadName(const std::string& name);

class ThreadNameSetter {
  public:
    // Does nothing for an empty name, else calls SetThreadName(name).
    static void SetCurrentThreadName(const std::string& name);
};

}  // namespace zam

#endif  // ZAM_THREADNAME_H
