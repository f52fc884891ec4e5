#pragma once

// The little doplet-sync needs from the operating system besides files: the stop request on an
// interrupt, whether standard error is a terminal, and the user's language.

namespace doplet {
class WorkerControl;
} // namespace doplet

namespace doplet::sync {

// From now on an interrupt (Ctrl+C, SIGINT, SIGTERM) sets the stop request of `control`, which
// must live until the program ends; the pass then stops after the file in hand. A second
// interrupt ends the program at once. Without a control (while nothing is written yet, as
// during the listings) an interrupt ends the program at once with status 130.
void StopOnInterrupt(WorkerControl* control);

bool StandardErrorIsTerminal();

// True when the user's language for messages is Japanese.
bool UserPrefersJapanese();

// Makes standard output carry the engine's UTF-8 texts unchanged.
void PrepareConsole();

} // namespace doplet::sync
