#pragma once

// Ctrl-C (SIGINT) and SIGTERM end a run gracefully: the handler only sets a flag, the
// subcommand's loop sees it, resets the control (a recording gets its header) and
// restores the terminal. A second signal ends the process at once.
namespace aurelix::cli {

void CatchInterrupts();
bool Interrupted();

}  // namespace aurelix::cli
