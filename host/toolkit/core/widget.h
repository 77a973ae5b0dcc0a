// The toolkit-side state of a form, status line or control (the igWidget the public
// classes point to).
#ifndef HOST_TOOLKIT_CORE_WIDGET_H
#define HOST_TOOLKIT_CORE_WIDGET_H

#include <string>
#include <vector>

#include "platform/ui_toolkit.h"

enum class WidgetKind { kForm, kStatusLine, kStatic, kMultiLine, kButton, kClock, kBatLevel };

struct igWidget {
  WidgetKind kind = WidgetKind::kStatic;
  // The object this state belongs to: a container (form, status line) or a control.
  igContainer* container = nullptr;
  igControl* control = nullptr;

  short x = 0, y = 0;
  unsigned short w = 0, h = 0;
  std::string text;  // Windows-1251; the title of a form
  std::string name;
  unsigned short style = 0;
  unsigned char code = 0;     // buttons
  unsigned short format = 0;  // clocks; the mode of a status line
  unsigned flags = 0;         // SetFlag values OR-ed together
  unsigned option = 0;
  bool prepared = false;

  bool coloursSet = false;  // false: the scheme's colours apply
  unsigned short first = 0, second = 0;
  unsigned short textColour = 0xFFFF;
  unsigned short levelHigh = 0x07E0, levelLow = 0xF800, levelOutline = 0xFFFF;
  bool hasLevelText = false;
  std::string levelText;
  igLevelCallback levelCallback = nullptr;
  unsigned short status = 0;  // last status word the level callback returned

  igWidget* parent = nullptr;
  std::vector<igWidget*> children;  // in adding order
  int result = 0;
};

#endif
