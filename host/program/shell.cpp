#include "host/program/shell.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>

#include "host/common/end_actions.h"
#include "host/program/host_keys.h"
#include "host/program/settings.h"
#include "host/toolkit/core/toolkit.h"
#include "host/toolkit/displays/framebuffer/framebuffer_display.h"
#include "host/toolkit/displays/script/script_display.h"
#include "host/toolkit/displays/terminal/terminal_display.h"

namespace termsim {
namespace {

std::atomic<bool> gQuitAsked{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a quit is asked for in signal handlers");

constexpr int kQuitSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnQuitSignal(int signal) {
  if (!gQuitAsked.exchange(true)) {
    PostQuit();
    return;
  }
  // The second: at once.
  RunEndActions();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void QuitOnSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal : kQuitSignals) SetSignalHandler(signal, OnQuitSignal, SA_RESTART);
}

// Ends the process with a sentence on what is wrong: status 2 for a setting refused, 1 for
// a display that cannot be had.
[[noreturn]] void Refuse(const std::string& why, int status = 2) {
  std::fprintf(stderr, "termsim: %s\n", why.c_str());
  EndProgram(status);
}

HostChrome Chrome() { return HostChrome{HostLine, PressHostKey}; }

std::unique_ptr<Display> MakeTerminalDisplay() {
  return std::make_unique<TerminalDisplay>(STDIN_FILENO, STDOUT_FILENO, Chrome());
}

// The framebuffer display, or the end of the process with a sentence on what is wrong:
// the program cannot run without its screen.
std::unique_ptr<Display> MakeFramebufferDisplay() {
  const Toolkit& toolkit = Toolkit::Get();
  std::string error;
  std::unique_ptr<Display> display = FramebufferDisplay::Open(
      FramebufferSetting(toolkit.width(), toolkit.height()), &error, Chrome());
  if (!display) Refuse(error, 1);
  return display;
}

}  // namespace

std::unique_ptr<Display> MakeDisplayFromEnvironment() {
  // A program on a real display: it quits on Ctrl-C, SIGTERM or hang-up, and whatever
  // ends it undoes what the host platform set up.
  QuitOnSignals();
  RunEndActionsOnFatalSignals();
  DisplayChoice choice = DisplayChoice::kAutomatic;
  const std::string why = DisplaySetting(&choice);
  if (!why.empty()) Refuse(why);
  if (choice == DisplayChoice::kAutomatic) {
    choice = isatty(STDOUT_FILENO) ? DisplayChoice::kTerminal : DisplayChoice::kScript;
  }
  switch (choice) {
    case DisplayChoice::kTerminal:
      return MakeTerminalDisplay();
    case DisplayChoice::kFramebuffer:
      return MakeFramebufferDisplay();
    case DisplayChoice::kScript:
    case DisplayChoice::kAutomatic:
      break;
  }
  // The end of the script is a quit: what the program has under way is finished, then
  // it ends with status 0.
  return std::make_unique<ScriptDisplay>(STDIN_FILENO, stdout, stderr);
}

void SetScreenSizeFromSetting() {
  Toolkit& toolkit = Toolkit::Get();
  int width = toolkit.width(), height = toolkit.height();
  const std::string why = ScreenSizeSetting(&width, &height);
  if (!why.empty()) Refuse(why);
  toolkit.SetScreenSize(width, height);
}

void StartHostShell() {
  static bool started = false;
  if (started) return;
  started = true;
  SetScreenSizeFromSetting();
  Toolkit& toolkit = Toolkit::Get();
  toolkit.SetDisplayMaker(MakeDisplayFromEnvironment);
  toolkit.SetQuitDone([] { EndProgram(0); });
}

}  // namespace termsim
