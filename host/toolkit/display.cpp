#include "host/toolkit/display.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/toolkit/displays/framebuffer_display.h"
#include "host/toolkit/displays/script_display.h"
#include "host/toolkit/displays/terminal_display.h"
#include "host/toolkit/toolkit.h"

namespace termsim {
namespace {

std::unique_ptr<Display> MakeScriptDisplay() {
  // At the end of the script the process ends at once: other threads of the program
  // may still run, and nothing of theirs needs to finish.
  return std::make_unique<ScriptDisplay>(STDIN_FILENO, stdout, stderr, [] {
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
  });
}

// The framebuffer display, or the end of the process with a sentence on what is wrong:
// the program cannot run without its screen.
std::unique_ptr<Display> MakeFramebufferDisplay() {
  std::string error;
  std::unique_ptr<Display> display = FramebufferDisplay::Open(
      FramebufferSettingsFromEnvironment(kScreenWidth, kScreenHeight), &error);
  if (!display) {
    std::fprintf(stderr, "termsim: %s\n", error.c_str());
    std::exit(1);
  }
  return display;
}

}  // namespace

void UseDisplay(std::unique_ptr<Display> display) {
  Toolkit::Get().UseDisplay(std::move(display));
}

std::unique_ptr<Display> MakeDisplayFromEnvironment() {
  const char* chosen = std::getenv("TERMSIM_DISPLAY");
  const std::string name = chosen != nullptr ? chosen : "";
  if (name == "script") return MakeScriptDisplay();
  if (name == "terminal") return std::make_unique<TerminalDisplay>(STDIN_FILENO, STDOUT_FILENO);
  if (name == "fb") return MakeFramebufferDisplay();
  if (!name.empty()) {
    std::fprintf(stderr, "TERMSIM_DISPLAY=%s is not a display (terminal, script, fb)\n",
                 name.c_str());
  }
  if (isatty(STDOUT_FILENO)) return std::make_unique<TerminalDisplay>(STDIN_FILENO, STDOUT_FILENO);
  return MakeScriptDisplay();
}

}  // namespace termsim
