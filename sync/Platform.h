#pragma once

// The little doplet-sync needs from the operating system besides files: the stop request on an
// interrupt, whether standard error is a terminal, and the user's language.

#include <string>
#include <vector>

namespace doplet {
class WorkerControl;
} // namespace doplet

namespace doplet::sync {

// From now on an interrupt (Ctrl+C, SIGINT, SIGTERM, SIGHUP) sets the stop request of `control`,
// which must live until the program ends; the pass then stops after the file in hand. A second
// interrupt ends the program at once. SIGPIPE is ignored: a closed output shows as a failed
// write. Without a control (while nothing is written yet, as
// during the listings) an interrupt ends the program at once with status 130.
void StopOnInterrupt(WorkerControl* control);

bool StandardErrorIsTerminal();

// True when the user's language for messages is Japanese.
bool UserPrefersJapanese();

// The command line's arguments in UTF-8, the engine's texts. Windows hands `argv` over in the
// ANSI code page, where a Japanese folder name may not survive: there they are read anew.
std::vector<std::string> Arguments(int argc, char** argv);

// Makes standard output carry the engine's UTF-8 texts unchanged.
void PrepareConsole();

} // namespace doplet::sync
