// How the process ends. Every way out (normal end, run-time error, fatal signal, failed
// set-up) runs the registered end hooks in reverse order of registration: the window goes
// away and the terminal gets its settings back before anything is reported.
// The process then leaves through _exit, so no library destructor runs against a display
// that may already be gone.
#pragma once

namespace som {

// Registers a hook to run once when the process ends. Hooks must be safe to run from a
// signal handler's context of a dying process: no allocation, no locks that the
// interrupted thread may hold for long.
void on_end(void (*hook)());

// Runs the end hooks (once), flushes standard output and standard error, and _exits.
[[noreturn]] void end_process(int status);

// Runs the end hooks without ending; for paths that end in a way of their own
// (re-raising a signal). Idempotent.
void run_end_hooks();

}  // namespace som
