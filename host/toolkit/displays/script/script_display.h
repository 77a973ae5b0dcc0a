// The script display: commands on an input stream drive the toolkit and print the
// screen as text. Commands and the screen format are described in SCRIPT.md.
#ifndef HOST_TOOLKIT_DISPLAYS_SCRIPT_SCRIPT_DISPLAY_H
#define HOST_TOOLKIT_DISPLAYS_SCRIPT_SCRIPT_DISPLAY_H

#include <chrono>
#include <cstdio>
#include <string>

#include "host/toolkit/core/display.h"
#include "host/toolkit/displays/focus_ring.h"

namespace termsim {

class ScriptDisplay final : public Display {
 public:
  using Clock = std::chrono::steady_clock;

  // Reads commands from inFd, prints screens to out and complaints to err. The end of
  // the input is a quit: once every line has been carried out, each wait returns kQuit.
  ScriptDisplay(int inFd, std::FILE* out, std::FILE* err);

  void Draw(const Screen& screen) override;
  int WaitInput(int timeoutMs) override;

 private:
  // A complete command line, or false when none came before the deadline.
  bool NextLine(Clock::time_point deadline, std::string* line);
  // Carries out one command; returns an event code to deliver, or kNoInput.
  int Execute(const std::string& line);
  void Complain(const std::string& line, const std::string& why);
  // The png command: the screen as a PNG file.
  void SavePicture(const std::string& line, const std::string& arguments);

  int inFd_;
  std::FILE* out_;
  std::FILE* err_;
  std::string pending_;  // bytes read but not yet a complete line
  bool eof_ = false;    // the input has no more bytes
  bool ended_ = false;  // and every line of it has been carried out
  int lineNumber_ = 0;
  Screen screen_;
  FocusRing focus_;  // where the focus would be: on the first button
  std::string screenText_;
  bool waiting_ = false;  // a "wait" or "waitfor" in progress
  Clock::time_point waitUntil_;
  std::string waitForText_;  // empty: plain wait
};

}  // namespace termsim

#endif
