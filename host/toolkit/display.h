// A display: where the toolkit's screen goes and where its input comes from.
#ifndef HOST_TOOLKIT_DISPLAY_H
#define HOST_TOOLKIT_DISPLAY_H

#include <memory>

#include "host/toolkit/snapshot.h"

namespace termsim {

class Display {
 public:
  // What WaitInput returns when its time-out passed without input.
  static constexpr int kNoInput = -1;

  virtual ~Display() = default;
  // Shows the screen; a display keeps what it needs of the previous one to draw only
  // what changed.
  virtual void Draw(const Screen& screen) = 0;
  // Waits at most timeoutMs for input: an event code 0..255, or kNoInput once the
  // time-out has passed (a test display may pass it in virtual time, at once).
  virtual int WaitInput(int timeoutMs) = 0;
};

// Installs a display to be used from the next igUI::Init on (or at once, when the
// toolkit is already started); the toolkit owns it.
void UseDisplay(std::unique_ptr<Display> display);

// The display named by TERMSIM_DISPLAY ("terminal", "script" or "fb"); without it the
// terminal when standard output is a terminal, else the script display. A framebuffer
// display that cannot start ends the process with status 1 and a sentence saying why.
std::unique_ptr<Display> MakeDisplayFromEnvironment();

}  // namespace termsim

#endif
