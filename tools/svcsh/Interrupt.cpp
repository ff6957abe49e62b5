#include "Interrupt.h"

#include <signal.h>

#include <atomic>

namespace svcsh {

namespace {

std::atomic<bool> pending{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free state");

void onInterrupt(int) {
    if (pending.exchange(true)) {
        // Nobody took the first one: whatever runs does not come back, so leave as asked.
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
    }
}

}  // namespace

void catchInterrupts(bool termination) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait in poll() ends, so whoever waits looks at the flag at once.
    sigaction(SIGINT, &action, nullptr);
    if (termination) {
        sigaction(SIGTERM, &action, nullptr);
    }
}

bool interruptPending() {
    return pending.load();
}

bool takeInterrupt() {
    return pending.exchange(false);
}

}  // namespace svcsh
