// Screens for the tests of the displays: the main screen as the program builds it, and
// controls to put on screens.
#ifndef TESTS_HOST_TOOLKIT_SAMPLE_SCREENS_H
#define TESTS_HOST_TOOLKIT_SAMPLE_SCREENS_H

#include <string>

#include "host/toolkit/look/cp1251.h"
#include "host/toolkit/core/snapshot.h"

namespace test {

// A control with black text on blue; the text is given in UTF-8.
inline termsim::ControlInfo Control(termsim::ControlKind kind, int x, int y, int w, int h,
                                    const std::string& utf8, int style = 0) {
  termsim::ControlInfo control;
  control.kind = kind;
  control.x = x;
  control.y = y;
  control.w = w;
  control.h = h;
  control.text = termsim::Utf8ToCp1251(utf8);
  control.style = style;
  control.first = 0x0000;
  control.second = 0x001F;
  return control;
}

// The main screen at a width of W pixels, as the program builds it (adding order).
inline termsim::Screen MainScreen(int W = 320, int height = 240) {
  const int T = (W - 4) / 3, H = (W - 4) / 2;
  termsim::Screen screen;
  screen.width = W;
  screen.height = height;
  screen.hasForm = true;
  screen.form.title = termsim::Utf8ToCp1251("KELDRAN Oct 14 2017");
  screen.form.flags = 8;
  screen.form.first = 0x0000;
  screen.form.second = 0x001F;
  auto& c = screen.form.controls;
  c.push_back(Control(termsim::ControlKind::kStatic, 2, 10, W - 4, 28, "4200000", 5));
  c.push_back(Control(termsim::ControlKind::kStatic, 2, 40, W - 4, 28, "3950000", 5));
  c.push_back(Control(termsim::ControlKind::kStatic, 2, 70, W - 4, 28, "3400000", 5));
  c.push_back(Control(termsim::ControlKind::kStatic, 2, 100, T, 28, "94%", 5));
  c.push_back(Control(termsim::ControlKind::kStatic, T + 2, 100, T, 28, "93%", 5));
  c.push_back(Control(termsim::ControlKind::kStatic, (2 * (W - 4)) / 3 + 2, 100, T, 28, "92%", 5));
  c.push_back(Control(termsim::ControlKind::kButton, 2, 130, H, 35, "UPLOAD"));
  c.back().code = 8;
  c.back().first = 0x0000;
  c.back().second = 0xC618;
  c.push_back(Control(termsim::ControlKind::kStatic, H + 2, 130, H, 35, "1234", 4));
  c.push_back(Control(termsim::ControlKind::kStatic, 2, 0, W - 4, 10, "РЕЖИМ: БАТАРЕЯ", 0));
  screen.hasStatusLine = true;
  termsim::ControlInfo clock = Control(termsim::ControlKind::kClock, 0, 0, (3 * W) / 4, 20, "14:05");
  clock.first = 0xFFE0;
  clock.second = 0x0000;
  termsim::ControlInfo level = Control(termsim::ControlKind::kBatLevel, W - 20, 0, 20, 20, "");
  level.first = 0x0410;
  level.hasLevelText = true;
  level.levelText = "57";
  level.status = 57;
  level.levelHigh = 0xFFE0;
  level.levelLow = 0xF800;
  level.levelOutline = 0xFFFF;
  level.textColour = 0xFFFF;
  screen.statusLine.controls = {clock, level};
  return screen;
}

}  // namespace test

#endif
