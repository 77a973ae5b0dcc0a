// A display: where the toolkit's screen goes and where its input comes from.
#ifndef HOST_TOOLKIT_CORE_DISPLAY_H
#define HOST_TOOLKIT_CORE_DISPLAY_H

#include <memory>

#include "host/toolkit/core/snapshot.h"

namespace termsim {

class Display {
 public:
  // What WaitInput returns when its time-out passed without input, and when the user
  // asked for a quit (the end of a script, say).
  static constexpr int kNoInput = -1;
  static constexpr int kQuit = -2;

  virtual ~Display() = default;
  // Shows the screen; a display keeps what it needs of the previous one to draw only
  // what changed.
  virtual void Draw(const Screen& screen) = 0;
  // Waits at most timeoutMs for input: an event code 0..255, kQuit, or kNoInput once
  // the time-out has passed (a test display may pass it in virtual time, at once).
  virtual int WaitInput(int timeoutMs) = 0;
};

}  // namespace termsim

#endif
