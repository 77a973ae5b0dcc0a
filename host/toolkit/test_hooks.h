// Hooks for tests of the toolkit and of the code that uses it: a display driven by a
// function, and descriptions of what is on the screen.
#ifndef HOST_TOOLKIT_INSPECTION_H
#define HOST_TOOLKIT_INSPECTION_H

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "host/toolkit/look/cp1251.h"
#include "host/toolkit/core/snapshot.h"
#include "platform/ui_toolkit.h"

namespace termsim {

// Installs the test display (call before igUI::Init; after it, it replaces the display
// in use). Each time the modal loop waits for input it calls nextKey() on the UI
// thread: 0..255 delivers that code, -1 means no input and the idle event follows at
// once, with no real waiting.
void UseTestDisplay(std::function<int()> nextKey);

// Titles of the forms put on the screen since the test display was installed, in order
// (a form shown again counts again).
std::vector<std::string> DrawnTitles();
// For each of those forms, the whole screen (status line included) as it was when the
// form was put on it.
std::vector<Screen> DrawnScreens();

// The screen's size for the next igUI::Init, as the host shell sets it; until ResetToolkit.
void SetScreenSize(int width, int height);

// Status-line clocks show this local time instead of the time now, until ResetToolkit.
void FixClock(const std::tm& local);

// The whole screen as last drawn.
Screen CurrentScreen();

// The screen as the script display prints it, without the closing "--" line.
std::string ScreenText();

// A form (or status line) as it is now.
FormInfo DescribeForm(const igForm* form);
// The form last drawn, as it was drawn (also after its Del).
FormInfo ScreenForm();
// The status line as last drawn; empty when none is set.
FormInfo StatusLine();
// How many times the status line has been drawn.
int StatusLineRedraws();
// How many forms and controls exist: made and not yet deleted (a form's Del deletes its
// controls too).
size_t LiveWidgets();

// Releases every form and control and the igUI object; the next igUI::Init starts a
// fresh toolkit (the display is chosen anew too).
void ResetToolkit();

}  // namespace termsim

#endif
