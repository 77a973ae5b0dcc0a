// The terminal display: the screen drawn in an ANSI terminal (alternate screen, 24-bit
// colour, UTF-8), keys read in raw mode. The terminal is given back as it was on
// exit, on SIGINT / SIGTERM and while the process is stopped (SIGTSTP).
#ifndef HOST_TOOLKIT_DISPLAYS_TERMINAL_TERMINAL_DISPLAY_H
#define HOST_TOOLKIT_DISPLAYS_TERMINAL_TERMINAL_DISPLAY_H

#include <string>

#include "host/toolkit/core/display.h"
#include "host/toolkit/displays/focus_ring.h"
#include "host/toolkit/displays/host_chrome.h"
#include "host/toolkit/displays/terminal/key_decoder.h"
#include "host/toolkit/displays/terminal/terminal_frame.h"

namespace termsim {

class TerminalDisplay final : public Display {
 public:
  TerminalDisplay(int inFd, int outFd, HostChrome chrome = HostChrome());
  ~TerminalDisplay() override;
  TerminalDisplay(const TerminalDisplay&) = delete;
  TerminalDisplay& operator=(const TerminalDisplay&) = delete;

  void Draw(const Screen& screen) override;
  int WaitInput(int timeoutMs) override;

 private:
  void Paint(bool whole);
  void QuerySize();
  void DrainWakeups();

  int in_;
  int out_;
  bool inputOpen_ = true;
  HostChrome chrome_;
  Screen screen_;
  std::string hostLine_;  // as last drawn
  Frame previous_;
  bool havePrevious_ = false;
  int rows_ = FrameLayout().rows();
  int columns_ = FrameLayout().columns;
  FocusRing focus_;
  KeyDecoder decoder_;
};

}  // namespace termsim

#endif
