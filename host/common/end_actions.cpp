#include "host/common/end_actions.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace termsim {
namespace {

constexpr int kMaxActions = 8;
// A lock-free slot each, so that a signal handler can take an action while the program
// adds or removes another.
std::atomic<EndAction> gActions[kMaxActions];
static_assert(std::atomic<EndAction>::is_always_lock_free, "end actions must be signal-safe");

constexpr int kFatalSignals[] = {SIGQUIT, SIGPIPE, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int kFatalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
struct sigaction gEarlier[kFatalCount];

bool IsFault(int signal) {
  return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
}

void OnFatalSignal(int signal) {
  RunEndActions();
  for (int i = 0; i < kFatalCount; ++i) {
    if (kFatalSignals[i] == signal) sigaction(signal, &gEarlier[i], nullptr);
  }
  // A fault comes back when the handler returns, and meets its earlier handler (a
  // sanitizer's, or the default); any other signal is sent again.
  if (!IsFault(signal)) raise(signal);
}

void RunAtExit() { RunEndActions(); }

}  // namespace

bool AddEndAction(EndAction action) {
  static const bool registered = std::atexit(RunAtExit) == 0;
  (void)registered;
  for (std::atomic<EndAction>& slot : gActions) {
    EndAction empty = nullptr;
    if (slot.compare_exchange_strong(empty, action)) return true;
  }
  return false;
}

void RemoveEndAction(EndAction action) {
  for (std::atomic<EndAction>& slot : gActions) {
    EndAction expected = action;
    slot.compare_exchange_strong(expected, nullptr);
  }
}

void RunEndActions() {
  for (int i = kMaxActions - 1; i >= 0; --i) {
    const EndAction action = gActions[i].exchange(nullptr);
    if (action != nullptr) action();
  }
}

void RunEndActionsOnFatalSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  for (int i = 0; i < kFatalCount; ++i) {
    SetSignalHandler(kFatalSignals[i], OnFatalSignal, 0, &gEarlier[i]);
    // A signal the program ignores ends nothing: it stays ignored.
    const bool ignored = (gEarlier[i].sa_flags & SA_SIGINFO) == 0 && gEarlier[i].sa_handler == SIG_IGN;
    if (ignored) sigaction(kFatalSignals[i], &gEarlier[i], nullptr);
  }
}

void SetSignalHandler(int signal, void (*handler)(int), int flags, struct sigaction* earlier) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(signal, &action, earlier);
}

void EndProgram(int status) {
  RunEndActions();
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

}  // namespace termsim
