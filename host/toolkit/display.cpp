#include "host/toolkit/display.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/common/end_actions.h"
#include "host/toolkit/displays/framebuffer_display.h"
#include "host/toolkit/displays/script_display.h"
#include "host/toolkit/displays/terminal_display.h"
#include "host/toolkit/toolkit.h"

namespace termsim {
namespace {

std::unique_ptr<Display> MakeScriptDisplay() {
  // The end of the script is a quit: what the program has under way is finished, then
  // it ends with status 0.
  return std::make_unique<ScriptDisplay>(STDIN_FILENO, stdout, stderr, [] { RequestQuit(); });
}

// The framebuffer display, or the end of the process with a sentence on what is wrong:
// the program cannot run without its screen.
std::unique_ptr<Display> MakeFramebufferDisplay() {
  std::string error;
  std::unique_ptr<Display> display = FramebufferDisplay::Open(
      FramebufferSettingsFromEnvironment(Toolkit::Get().width(), Toolkit::Get().height()), &error);
  if (!display) {
    std::fprintf(stderr, "termsim: %s\n", error.c_str());
    EndProgram(1);
  }
  return display;
}

std::unique_ptr<Display> MakeDisplay(const std::string& name) {
  if (name == "script") return MakeScriptDisplay();
  if (name == "terminal") return std::make_unique<TerminalDisplay>(STDIN_FILENO, STDOUT_FILENO);
  if (name == "fb") return MakeFramebufferDisplay();
  if (!name.empty()) {  // a mistyped setting: nothing is shown where it was not meant
    std::fprintf(stderr, "termsim: TERMSIM_DISPLAY=%s is not a display (terminal, script, fb)\n",
                 name.c_str());
    EndProgram(2);
  }
  if (isatty(STDOUT_FILENO)) return std::make_unique<TerminalDisplay>(STDIN_FILENO, STDOUT_FILENO);
  return MakeScriptDisplay();
}

}  // namespace

void UseDisplay(std::unique_ptr<Display> display) {
  Toolkit::Get().UseDisplay(std::move(display));
}

std::unique_ptr<Display> MakeDisplayFromEnvironment() {
  // A program on a real display: it quits on Ctrl-C, SIGTERM or hang-up, and whatever
  // ends it undoes what the host platform set up.
  QuitOnSignals();
  RunEndActionsOnFatalSignals();
  const char* chosen = std::getenv("TERMSIM_DISPLAY");
  return MakeDisplay(chosen != nullptr ? chosen : "");
}

}  // namespace termsim
