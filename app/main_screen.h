// Main screen: its nine controls, start-up and the main loop.
#ifndef APP_MAIN_SCREEN_H
#define APP_MAIN_SCREEN_H

#include "app/screen_codes.h"
#include "platform/ui_toolkit.h"

// Creates the main screen's form and controls and adds the form to ui.
igForm* BuildMainScreen(igUI* ui);
// Shows the main screen once, modally, and runs the upload when it ends with
// RESULT_UPLOAD. Returns the screen's result.
int RunMainScreenOnce(igUI* ui, igForm* form);
// Start-up and the main loop; never returns.
[[noreturn]] void RunBatteryTest();

#endif
