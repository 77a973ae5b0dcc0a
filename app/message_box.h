// Message box: a titled text with no, one or two buttons.
#ifndef APP_MESSAGE_BOX_H
#define APP_MESSAGE_BOX_H

#include <cstdint>

#include "platform/ui_toolkit.h"

enum : uint16_t {
  MB_OK = 0x01,         // one OK button
  MB_OKCANCEL = 0x02,   // Cancel and OK buttons
  MB_NOWAIT = 0x04,     // draw only, do not wait, no buttons
  MB_ERROR = 0x08,      // error look
  MB_PLAINTEXT = 0x10,  // plain text style
};

// Shows a box titled title holding text. Returns 2 when a modal box was cancelled
// (Esc or the Cancel button), otherwise 1; a box with MB_NOWAIT is drawn, left on the
// screen and removed from the toolkit at once, and returns 1.
int ShowMessageBox(igUI* ui, const char* title, const char* text, uint16_t flags);

#endif
