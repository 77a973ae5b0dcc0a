// Turns the bytes a terminal sends for keys into the toolkit's input: event codes and
// focus movements.
#ifndef HOST_TOOLKIT_DISPLAYS_KEY_DECODER_H
#define HOST_TOOLKIT_DISPLAYS_KEY_DECODER_H

#include <cstddef>
#include <deque>
#include <string>

namespace termsim {

struct DecodedKey {
  // kFunction: a function key, the host's; kScreenshot: save a picture of the screen
  // (the framebuffer display's Print Screen).
  enum Action { kCode, kFocusNext, kFocusPrevious, kPress, kFunction, kScreenshot };
  Action action = kCode;
  int code = 0;  // kCode: the event code; kFunction: the function key's number, 1..12
};

// Backspace (0x7F or 0x08) is code 8, Enter (CR or LF) 13, a lone Esc 27; Tab, Down and
// Right move the focus on, Shift-Tab, Up and Left back; Space presses the focused
// button; other ASCII bytes are their own code; F1..F12 are function keys (the host's,
// not the program's). Other escape sequences and non-ASCII bytes are dropped.
class KeyDecoder {
 public:
  void Feed(const char* bytes, size_t count);
  bool Pop(DecodedKey* key);
  // Whether an Esc came that may still start an escape sequence.
  bool Pending() const { return !sequence_.empty(); }
  // No more bytes came in time: a lone Esc is the Esc key, a partial sequence is dropped.
  void Expire();

 private:
  void Byte(unsigned char byte);
  void EndSequence();
  void Emit(DecodedKey::Action action, int code = 0) { keys_.push_back(DecodedKey{action, code}); }

  std::string sequence_;
  std::deque<DecodedKey> keys_;
};

}  // namespace termsim

#endif
