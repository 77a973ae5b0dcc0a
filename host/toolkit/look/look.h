// The look every display shares: what a snapshot's title, buttons and battery indicator
// look like, as colours and texts (Windows-1251). Each display places them on its own
// grid: character cells in a terminal, pixels in the renderer and on a framebuffer.
#ifndef HOST_TOOLKIT_LOOK_LOOK_H
#define HOST_TOOLKIT_LOOK_LOOK_H

#include <cstdint>
#include <string>

#include "host/toolkit/core/snapshot.h"

namespace termsim {

constexpr uint16_t kWhite = 0xFFFF;
constexpr uint16_t kBlack = 0x0000;
constexpr uint16_t kFocusColour = 0xFFE0;  // yellow: the button with the focus

// A form's title: its text in `ink` on a bar in `bar`. A framed form (and the error
// look) has the bar drawn out and the client area framed in `frame`; a plain form's
// title stands on the client area, whose colour is the bar's.
struct TitleLook {
  uint16_t bar = 0, ink = 0, frame = 0;
  bool framed = false;
};
TitleLook TitleLookOf(const FormInfo& form);

// A button: its text on one line, in `ink` (to be made readable on the background) on
// `background`; the focused button in black on the focus colour.
struct ButtonLook {
  uint16_t background = 0, ink = 0;
  std::string text;
};
ButtonLook ButtonLookOf(const ControlInfo& button, bool focused);

// The battery indicator: on `background`, an outline in `outline`, a bar filled to
// `percent` in `fill` (the low colour when low) over `empty`, and `text` centred over
// it in `ink`: the level text, or "~" on external power when there is none.
struct IndicatorLook {
  int percent = 0;
  bool low = false;
  uint16_t background = 0, outline = 0, fill = 0, empty = 0, ink = 0;
  std::string text;
};
IndicatorLook IndicatorLookOf(const ControlInfo& indicator);

}  // namespace termsim

#endif
