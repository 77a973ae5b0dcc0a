// The toolkit's screen in pixels: a snapshot drawn into an RGB565 image of the screen's
// size, with the look described in host/toolkit/README.md ("Look in pixels").
//
// Every control draws only inside its own rectangle (its texts are clipped there), so
// drawing one part of the screen again gives the same pixels as drawing it all.
#ifndef HOST_TOOLKIT_RENDER_RENDERER_H
#define HOST_TOOLKIT_RENDER_RENDERER_H

#include <vector>

#include "host/toolkit/render/image.h"
#include "host/toolkit/core/snapshot.h"

namespace termsim {

// Height of a form's title bar, along the bottom of the client area.
constexpr int kTitleBarHeight = 20;

// The whole screen. The image is made the screen's size. focusedControl is the index
// (in the form's controls) of the button with the focus, or -1.
void RenderScreen(const Screen& screen, int focusedControl, Image* image);
// Only the pixels inside area; the image already has the screen's size.
void RenderArea(const Screen& screen, int focusedControl, const Rect& area, Image* image);

// Where things are, in screen pixels.
Rect StatusLineRect(const Screen& screen);
Rect ClientRect(const Screen& screen);
// A control of the form, clipped to the client area.
Rect ControlRect(const Screen& screen, const ControlInfo& control);
// A gadget of the status line, clipped to the status line.
Rect GadgetRect(const Screen& screen, const ControlInfo& gadget);

// The parts of the screen that look different after a change from `before` to `after`
// (with their focused buttons): drawing them again turns a picture of before into one
// of after. Empty when nothing changed.
std::vector<Rect> ChangedAreas(const Screen& before, int focusBefore, const Screen& after,
                               int focusAfter);

}  // namespace termsim

#endif
