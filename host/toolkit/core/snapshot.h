// What the screen shows, as plain values: a copy of forms and controls taken when they
// are drawn. Displays draw from it, and it outlives the objects it was taken from (a
// form released with Del stays visible until something else is drawn).
#ifndef HOST_TOOLKIT_CORE_SNAPSHOT_H
#define HOST_TOOLKIT_CORE_SNAPSHOT_H

#include <string>
#include <vector>

namespace termsim {

// The kinds of control a form or the status line holds.
enum class ControlKind { kStatic, kMultiLine, kButton, kClock, kBatLevel };

// Form flags (SetFlag): a framed form, and the error look.
constexpr unsigned kFormFramed = 8;
constexpr unsigned kFormError = 32;

// Text styles (SetStyle) of static and multi-line controls; any other draws plain.
enum TextStyle : int {
  kStylePlain = 0,        // left-aligned, one line per line break
  kStyleTextBlock = 1,    // wrapped at the control's width
  kStyleFramedValue = 4,  // framed, aligned right
  kStyleLargeValue = 5,   // large, centred both ways
};

// The status word a battery indicator's callback returns: the percentage in the low
// byte, and two flags.
constexpr unsigned kLevelPercentMask = 0xFF;
constexpr unsigned kLevelLow = 0x1000;
constexpr unsigned kLevelExternal = 0x2000;

struct ControlInfo {
  ControlKind kind = ControlKind::kStatic;
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

// The screen's size in pixels, unless the host sets another before igUI::Init, and the
// height of the status line along its top; control coordinates are relative to the
// client area below the status line.
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
};

// Controls in layout order: by y, then x, then adding order.
std::vector<const ControlInfo*> LayoutOrder(const FormInfo& form);

}  // namespace termsim

#endif
