// svcsh's interactive prompt: line editing (libedit), Tab completion of commands, service names
// and member names, history kept between runs in ~/.svcsh_history (bounded, never a line that
// carried a secret), and Ctrl-C: it ends the running command or wait and the prompt comes back;
// at the prompt it discards the line, and a second Ctrl-C at the empty prompt, or Ctrl-D, leaves.
// Threading: runPrompt() runs on the dispatcher thread, which pumps while the user types; the
// line editor blocks, so it runs on a reader thread that touches no service: completions are
// computed on the dispatcher thread and handed over. Failure: none; a history file that cannot
// be written is left as it was.
#ifndef SVCSH_PROMPT_H
#define SVCSH_PROMPT_H

#include "Shell.h"

namespace svcsh {

// Lines kept in the history file.
constexpr int kHistoryLines = 500;

// Reads lines at the terminal until "quit", Ctrl-D or a second Ctrl-C at an empty prompt.
void runPrompt(Shell& shell);

}  // namespace svcsh

#endif  // SVCSH_PROMPT_H
