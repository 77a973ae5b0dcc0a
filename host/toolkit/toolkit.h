// The toolkit's core: the objects it owns, the colour scheme, the status line, the
// modal loop and drawing through the display. One per process, used on the UI thread.
#ifndef HOST_TOOLKIT_TOOLKIT_H
#define HOST_TOOLKIT_TOOLKIT_H

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/toolkit/display.h"
#include "host/toolkit/snapshot.h"
#include "host/toolkit/widget.h"

namespace termsim {

// How often the modal loop delivers the idle event while no input arrives, in the
// program's time (a time scale makes it more often, but never more than every 2 ms).
constexpr int kIdleIntervalMs = 200;
constexpr int kMinIdleRealMs = 2;

class Toolkit {
 public:
  static Toolkit& Get();
  ~Toolkit();

  // The igUI object, once igUI::Init has made it; the toolkit owns it.
  igUI* ui() const { return ui_; }
  void AdoptUi(igUI* ui) { ui_ = ui; }
  // The display in use, made from the environment on first use.
  Display& display();
  void UseDisplay(std::unique_ptr<Display> display);
  // Releases every object, the igUI and the display; the next Init starts afresh.
  void Reset();

  // Objects. A new widget is owned by the toolkit until it is released.
  igWidget* NewWidget(WidgetKind kind);
  bool Alive(const igWidget* widget) const;
  void AddChild(igWidget* parent, igWidget* child);
  void Release(igWidget* widget);

  // igUI
  void SetStatusLine(igWidget* line);
  void Add(igWidget* form);
  void Del(igWidget* form);
  void Show(igWidget* form, igFormCallback callback);
  void View(igWidget* form);
  void WaitEndModal();

  // The screen's size in pixels, settled by the first igUI::Init from TERMSIM_SCREEN.
  int width() const { return screen_.width; }
  int height() const { return screen_.height; }
  void SetScreenSize(int width, int height);

  Scheme& scheme() { return scheme_; }
  unsigned short FormFirst(const igWidget* form) const;
  unsigned short FormSecond(const igWidget* form) const;

  // Snapshots.
  FormInfo Describe(const igWidget* container) const;
  const Screen& screen() const { return screen_; }
  int statusLineRedraws() const { return statusLineRedraws_; }

  // The local time clocks show: the time now, or the time a test fixed until Reset.
  std::tm ClockTime() const;
  void FixClock(const std::tm& local);

 private:
  Toolkit() = default;
  void Forget(igWidget* widget);
  void Destroy(igWidget* widget);
  void ReleaseAll();
  // Takes a new snapshot of the form on screen and the status line (asking the
  // battery indicators for their level) and hands it to the display.
  void Redraw();
  void PutOnScreen(igWidget* form);
  FormInfo DescribeStatusLine();

  igUI* ui_ = nullptr;
  std::unique_ptr<Display> display_;
  std::unordered_set<igWidget*> live_;
  std::vector<igWidget*> roots_;  // live widgets without a parent, in creation order
  std::vector<igWidget*> forms_;  // forms added with Add
  igWidget* statusLine_ = nullptr;
  igWidget* shown_ = nullptr;     // the form last shown modally
  igFormCallback callback_ = nullptr;
  igWidget* onScreen_ = nullptr;  // the form last drawn, while it lives
  Scheme scheme_;
  Screen screen_;
  unsigned serial_ = 0;
  int statusLineRedraws_ = 0;
  bool drawing_ = false;
  std::optional<std::tm> fixedClock_;
};

// Quitting. The program on the toolkit has no way out of its own: a quit asked for
// (the first Ctrl-C, SIGTERM or hang-up, or the end of a script) cancels the modal
// forms above the first form the program added, as Esc would, so that what they
// started comes to its end; the program then ends with status 0 when its first form
// waits for input again. RequestQuit is async-signal-safe.
void RequestQuit();
bool QuitRequested();
// From now on SIGINT, SIGTERM and SIGHUP ask for a quit; the second of them ends the
// program at once (after the end actions, by the signal). Once per process.
void QuitOnSignals();

// The host's own part of the screen, for the user at the PC and never seen by the
// program: function keys the host handles itself, and a note under the help line (where
// port 11 is, say). The terminal display shows both on a line of their own.
// Adds function key n (1..12) with a word of help and the action it runs on the UI
// thread; a key added again replaces the earlier one.
void AddHostKey(int n, const std::string& help, void (*action)());
// Runs the action of function key n; false when the host has none.
bool PressHostKey(int n);
void SetHostNote(const std::string& note);
// "F2: help  ...  note", or "" when the host has neither keys nor a note.
std::string HostLine();

// The public object behind a widget, as the intptr_t the callbacks receive.
intptr_t FormHandle(const igWidget* form);
intptr_t IndicatorHandle(const igWidget* indicator);

// Reads a screen size "WIDTHxHEIGHT" (e.g. "480x272") within the sizes the toolkit's
// screens are laid out for. Returns "" and the size, or what is wrong with the text.
std::string ParseScreenSize(const char* text, int* width, int* height);
constexpr int kMinScreenWidth = 240, kMaxScreenWidth = 1920;
constexpr int kMinScreenHeight = 200, kMaxScreenHeight = 1080;

// The clock's text for a local time in the given format.
std::string ClockText(int format, const std::tm& local);

}  // namespace termsim

#endif
