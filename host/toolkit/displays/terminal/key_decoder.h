// Turns the bytes a terminal sends for keys into the toolkit's input: event codes and
// focus movements.
#ifndef HOST_TOOLKIT_DISPLAYS_TERMINAL_KEY_DECODER_H
#define HOST_TOOLKIT_DISPLAYS_TERMINAL_KEY_DECODER_H

#include <cstddef>
#include <deque>
#include <string>

#include "host/toolkit/displays/focus_ring.h"

namespace termsim {

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
