// What the host platform undoes when the program ends, however it ends short of
// SIGKILL: a return from main or exit(), the toolkit's quit, or a signal that ends the
// process. A terminal put in raw mode is given back, a link made for port 11 removed.
#ifndef HOST_COMMON_END_ACTIONS_H
#define HOST_COMMON_END_ACTIONS_H

#include <signal.h>

namespace termsim {

// An action may run in a signal handler: it makes only async-signal-safe calls.
using EndAction = void (*)();

// Adds an action; each runs at most once, the last added first. False when the table
// (8 actions) is full.
bool AddEndAction(EndAction action);
// Takes back an action that has not run (its owner has undone what it guarded).
void RemoveEndAction(EndAction action);
// Runs every action added and not yet run. Async-signal-safe.
void RunEndActions();

// From now on a signal that ends the process (SIGQUIT, SIGPIPE, SIGABRT, SIGSEGV,
// SIGBUS, SIGFPE, SIGILL) first runs the end actions, then takes its earlier course.
// Further calls do nothing.
void RunEndActionsOnFatalSignals();

// Installs handler for signal with the flags given (no signal blocked while it runs);
// the signal's earlier action goes to *earlier when that is not null.
void SetSignalHandler(int signal, void (*handler)(int), int flags,
                      struct sigaction* earlier = nullptr);

// Ends the process with this status now: runs the end actions, flushes standard output
// and standard error, and leaves without the static destructors, which other threads
// of the program may still be using.
[[noreturn]] void EndProgram(int status);

}  // namespace termsim

#endif
