// The toolkit's core: the objects it owns, the colour scheme, the status line, the
// modal loop and drawing through the display. One per process, used on the UI thread.
// It knows nothing of the process around it: the host shell (host/program/) chooses the
// display, sets the screen's size, turns signals into quits and ends the program.
#ifndef HOST_TOOLKIT_CORE_TOOLKIT_H
#define HOST_TOOLKIT_CORE_TOOLKIT_H

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "host/toolkit/core/display.h"
#include "host/toolkit/core/snapshot.h"
#include "host/toolkit/core/widget.h"

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
  // The display in use: the one installed, else the one the display maker makes on
  // first use; with neither, no display (nothing is shown, and every wait is a quit).
  Display& display();
  void UseDisplay(std::unique_ptr<Display> display);
  void SetDisplayMaker(std::function<std::unique_ptr<Display>()> maker);
  // What ends the program once a quit is done; without it the program's first form
  // gets Esc like any other.
  void SetQuitDone(std::function<void()> done);
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

  // The screen's size in pixels, set by the host before the first igUI::Init.
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
  size_t liveWidgets() const { return live_.size(); }

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
  bool quitting_ = false;  // a quit came: the program finishes what it does
  std::optional<std::tm> fixedClock_;
  std::function<std::unique_ptr<Display>()> displayMaker_;
  std::function<void()> quitDone_;
};

// Quitting. The program on the toolkit has no way out of its own: a quit (an input event
// a display delivers, or one posted here) cancels the modal forms above the first form
// the program added, as Esc would, so that what they started comes to its end; once
// that first form waits for input again, the quit is done (SetQuitDone).
// PostQuit delivers a quit before the modal loop next waits; it is async-signal-safe.
void PostQuit();

// The public object behind a widget, as the intptr_t the callbacks receive.
intptr_t FormHandle(const igWidget* form);
intptr_t IndicatorHandle(const igWidget* indicator);

// The clock's text for a local time in the given format.
std::string ClockText(int format, const std::tm& local);

}  // namespace termsim

#endif
