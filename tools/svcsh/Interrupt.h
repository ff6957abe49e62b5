// svcsh's Ctrl-C: a SIGINT handler that only notes the interrupt, so that the running command, a
// pump or a watch wait can end and the prompt come back. A second Ctrl-C before the first was
// taken (the shell is stuck in service code) ends the process as SIGINT does by default.
// Threading: the flag is an atomic, safe from any thread and from the handler.
// Failure: none.
#ifndef SVCSH_INTERRUPT_H
#define SVCSH_INTERRUPT_H

namespace svcsh {

// Installs the handler; from then on Ctrl-C does not end the process at once. With
// `termination`, SIGTERM is taken the same way (once), for a host that must stop cleanly.
void catchInterrupts(bool termination = false);
// Whether a Ctrl-C came since it was last taken.
bool interruptPending();
// Takes a pending Ctrl-C: true when there was one.
bool takeInterrupt();

}  // namespace svcsh

#endif  // SVCSH_INTERRUPT_H
