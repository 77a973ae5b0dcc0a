// What the screen shows, as plain values: a copy of forms and controls taken when they
// are drawn. Displays draw from it, and it outlives the objects it was taken from (a
// form released with Del stays visible until something else is drawn).
#ifndef HOST_TOOLKIT_SNAPSHOT_H
#define HOST_TOOLKIT_SNAPSHOT_H

#include <string>
#include <vector>

namespace termsim {

struct ControlInfo {
  std::string kind;  // "static", "multiline", "button", "clock", "batlevel"
  int x = 0, y = 0, w = 0, h = 0;
  std::string text;  // Windows-1251 as given; for a clock the time it shows
  std::string name;
  int style = 0;
  int code = 0;  // buttons: the event code a press delivers
  unsigned short first = 0, second = 0, textColour = 0;
  bool hasLevelText = false;
  std::string levelText;
  // Battery indicator: fill colours by level (high, low) and outline, and the status
  // word its callback returned when it was last drawn.
  unsigned short levelHigh = 0, levelLow = 0, levelOutline = 0;
  unsigned short status = 0;
  int format = 0;  // clock: its format argument
};

// Whether two controls are the same in every value (and so look the same).
bool operator==(const ControlInfo& a, const ControlInfo& b);
inline bool operator!=(const ControlInfo& a, const ControlInfo& b) { return !(a == b); }

struct FormInfo {
  std::string title;
  unsigned flags = 0;
  unsigned option = 0;
  unsigned short first = 0, second = 0;
  std::vector<ControlInfo> controls;  // in adding order
  int result = 0;
};

// Colour pairs (foreground, background) of the kinds of object, as set with igColor.
// Kinds not set follow the screen's pair; buttons have their own default.
struct Scheme {
  unsigned short screenFg = 0xFFFF, screenBg = 0x0000;
  unsigned short formFg = 0, formBg = 0;
  unsigned short buttonFg = 0x0000, buttonBg = 0xC618;
  unsigned short staticFg = 0, staticBg = 0;
  bool formSet = false, staticSet = false;
};

// The screen's size in pixels, unless TERMSIM_SCREEN sets another, and the height of
// the status line along its top; control coordinates are relative to the client area
// below the status line.
constexpr int kDefaultScreenWidth = 320;
constexpr int kDefaultScreenHeight = 240;
constexpr int kStatusLineHeight = 20;

struct Screen {
  int width = kDefaultScreenWidth;  // the whole screen, status line included
  int height = kDefaultScreenHeight;
  bool hasForm = false;
  FormInfo form;            // the form last drawn
  unsigned formSerial = 0;  // changes whenever another form (or the same anew) is shown
  bool hasStatusLine = false;
  FormInfo statusLine;
  Scheme scheme;
  bool quitting = false;  // a quit was asked for: the program finishes what it does
  std::string hostLine;   // the host's keys and note (HostLine in toolkit.h)
};

// Controls in layout order: by y, then x, then adding order.
std::vector<const ControlInfo*> LayoutOrder(const FormInfo& form);

// Splits a text at its line breaks (\n, \r\n, and a lone \r).
std::vector<std::string> SplitLines(const std::string& text);

// Breaks a line into pieces of at most width characters, at a blank where possible.
std::vector<std::string> WrapLine(const std::string& line, int width);

// The screen as text (UTF-8): the title of the form on screen, one line per control in
// layout order (buttons in brackets, texts split at their line breaks), then
// "status: <clock> | <indicator text>". The format is described in SCRIPT.md.
std::string ScreenTextOf(const Screen& screen);

}  // namespace termsim

#endif
