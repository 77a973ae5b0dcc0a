// The texts of a screen: line breaks, wrapping, and the whole screen as text.
#ifndef HOST_TOOLKIT_LOOK_SCREEN_TEXT_H
#define HOST_TOOLKIT_LOOK_SCREEN_TEXT_H

#include <string>
#include <vector>

#include "host/toolkit/core/snapshot.h"

namespace termsim {

// Splits a text at its line breaks (\n, \r\n, and a lone \r).
std::vector<std::string> SplitLines(const std::string& text);

// Breaks a line into pieces of at most width characters, at a blank where possible.
std::vector<std::string> WrapLine(const std::string& line, int width);

// The screen as text (UTF-8): the title of the form on screen, one line per control in
// layout order (buttons in brackets, texts split at their line breaks), then
// "status: <clock> | <indicator text>". The format is described in
// host/toolkit/displays/script/SCRIPT.md.
std::string ScreenTextOf(const Screen& screen);

}  // namespace termsim

#endif
