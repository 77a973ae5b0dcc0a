#include "host/toolkit/test_hooks.h"

#include "host/toolkit/displays/test/test_display.h"
#include "host/toolkit/core/toolkit.h"
#include "host/toolkit/look/screen_text.h"

namespace termsim {

namespace {

// What the test display has drawn: each form put on the screen, as first drawn.
struct DrawLog {
  std::vector<Screen> screens;
  unsigned lastSerial = 0;
};

DrawLog& Drawn() {
  static DrawLog log;
  return log;
}

}  // namespace

void UseTestDisplay(std::function<int()> nextKey) {
  Drawn() = DrawLog();
  Toolkit::Get().UseDisplay(std::make_unique<TestDisplay>(std::move(nextKey), [](const Screen& s) {
    DrawLog& log = Drawn();
    if (s.hasForm && s.formSerial != log.lastSerial) {
      log.lastSerial = s.formSerial;
      log.screens.push_back(s);
    }
  }));
}

std::vector<std::string> DrawnTitles() {
  std::vector<std::string> titles;
  for (const Screen& screen : Drawn().screens) titles.push_back(screen.form.title);
  return titles;
}

std::vector<Screen> DrawnScreens() { return Drawn().screens; }

void SetScreenSize(int width, int height) { Toolkit::Get().SetScreenSize(width, height); }

void FixClock(const std::tm& local) { Toolkit::Get().FixClock(local); }

Screen CurrentScreen() { return Toolkit::Get().screen(); }

std::string ScreenText() { return ScreenTextOf(Toolkit::Get().screen()); }

FormInfo DescribeForm(const igForm* form) {
  return form != nullptr ? Toolkit::Get().Describe(form->Widget()) : FormInfo();
}

FormInfo ScreenForm() {
  const Screen& screen = Toolkit::Get().screen();
  return screen.hasForm ? screen.form : FormInfo();
}

FormInfo StatusLine() {
  const Screen& screen = Toolkit::Get().screen();
  return screen.hasStatusLine ? screen.statusLine : FormInfo();
}

int StatusLineRedraws() { return Toolkit::Get().statusLineRedraws(); }

size_t LiveWidgets() { return Toolkit::Get().liveWidgets(); }

void ResetToolkit() { Toolkit::Get().Reset(); }

}  // namespace termsim
