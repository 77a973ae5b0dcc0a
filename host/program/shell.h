// The host shell: what makes a program on the toolkit a program on this PC. It reads
// the settings, chooses the display and gives it the host's keys and line, turns
// Ctrl-C, SIGTERM and hang-up into quits, and ends the program when a quit is done.
#ifndef HOST_PROGRAM_SHELL_H
#define HOST_PROGRAM_SHELL_H

#include <memory>

#include "host/toolkit/core/display.h"

namespace termsim {

// Sets the toolkit up for a program, before its igUI::Init: the screen's size from
// TERMSIM_SCREEN, the display to be made on first use, and the end of the program with
// status 0 once a quit is done. A setting it cannot use ends the process with status 2
// and a sentence saying why. Once per process.
void StartHostShell();

// The screen's size from TERMSIM_SCREEN, for the next igUI::Init; without the setting
// it stays as it is. A size it cannot use ends the process with status 2.
void SetScreenSizeFromSetting();

// The display named by TERMSIM_DISPLAY ("terminal", "script" or "fb"); without it the
// terminal when standard output is a terminal, else the script display. From then on
// SIGINT, SIGTERM and hang-up ask for a quit, and the second of them ends the program
// at once (after the end actions, by the signal). A display that cannot start ends the
// process with a sentence saying why: status 1 for a framebuffer, 2 for a bad setting.
std::unique_ptr<Display> MakeDisplayFromEnvironment();

}  // namespace termsim

#endif
