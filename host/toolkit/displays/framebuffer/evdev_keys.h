// Keys from a Linux input device (evdev): the device, found or named, and its
// struct input_event records turned into the toolkit's input.
#ifndef HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_EVDEV_KEYS_H
#define HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_EVDEV_KEYS_H

#include <linux/input.h>

#include <cstddef>
#include <deque>
#include <string>

#include "host/toolkit/displays/focus_ring.h"

namespace termsim {

// Backspace gives code 8, Enter 13, Esc 27, letters and digits their ASCII codes (capitals
// with Shift); Tab, Down and Right move the focus on, Shift-Tab, Up and Left back; Space
// presses the focused button; Print Screen asks for a screenshot. A key held down repeats.
class EvdevKeys {
 public:
  void Feed(const input_event& event);
  // Takes whole records from a stream of bytes (a part record waits for the rest).
  void FeedBytes(const char* bytes, size_t count);
  bool Pop(DecodedKey* key);

 private:
  std::deque<DecodedKey> keys_;
  std::string partial_;
  bool leftShift_ = false, rightShift_ = false;
};

// Opens an input device for reading, without blocking, and takes it for this program
// alone where the device allows it (EVIOCGRAB; a plain file or pipe is read as it is).
// path empty: the first keyboard among /dev/input/event*. Returns the descriptor, or -1
// with the reason in *error, as a whole sentence naming TERMSIM_INPUT and the device.
int OpenKeyboard(const std::string& path, std::string* opened, std::string* error);
// Lets the device go and closes it.
void CloseKeyboard(int fd);

}  // namespace termsim

#endif
