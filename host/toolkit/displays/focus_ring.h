// The focus among the buttons of the form on screen, as the displays with keys keep it:
// on the first button in layout order when a form is put on the screen, moved on and
// back by keys, and pressed to deliver the focused button's code.
#ifndef HOST_TOOLKIT_DISPLAYS_FOCUS_RING_H
#define HOST_TOOLKIT_DISPLAYS_FOCUS_RING_H

#include <vector>

#include "host/toolkit/core/snapshot.h"

namespace termsim {

// A key as the displays with keys see it, whatever it came from.
struct DecodedKey {
  // kFunction: a function key, the host's; kScreenshot: save a picture of the screen
  // (the framebuffer display's Print Screen).
  enum Action { kCode, kFocusNext, kFocusPrevious, kPress, kFunction, kScreenshot };
  Action action = kCode;
  int code = 0;  // kCode: the event code; kFunction: the function key's number, 1..12
};

class FocusRing {
 public:
  // Takes the buttons of the screen drawn; a form put on the screen (anew) gets the
  // focus on its first button.
  void Update(const Screen& screen);
  // The index, among the form's controls, of the button with the focus; -1 when none.
  int Focused() const;
  // Applies a key: returns the event code it delivers (a code key, or the focused
  // button's code for a press) or -1; *moved tells whether the focus moved.
  int Apply(const DecodedKey& key, bool* moved);

 private:
  std::vector<int> buttons_;  // indexes of the form's buttons, in layout order
  std::vector<int> codes_;    // their codes
  int focus_ = 0;             // into buttons_
  unsigned serial_ = 0;
};

}  // namespace termsim

#endif
