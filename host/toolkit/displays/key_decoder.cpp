#include "host/toolkit/displays/key_decoder.h"

namespace termsim {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr size_t kLongestSequence = 16;

}  // namespace

void KeyDecoder::Feed(const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) Byte(static_cast<unsigned char>(bytes[i]));
}

bool KeyDecoder::Pop(DecodedKey* key) {
  if (keys_.empty()) return false;
  *key = keys_.front();
  keys_.pop_front();
  return true;
}

void KeyDecoder::Expire() {
  if (sequence_.size() == 1) Emit(DecodedKey::kCode, 27);
  sequence_.clear();
}

void KeyDecoder::Byte(unsigned char byte) {
  if (!sequence_.empty()) {
    if (sequence_.size() == 1) {
      if (byte == '[' || byte == 'O') {
        sequence_ += static_cast<char>(byte);
        return;
      }
      // Esc followed by something else: the Esc key, then that byte on its own.
      Emit(DecodedKey::kCode, 27);
      sequence_.clear();
    } else {
      sequence_ += static_cast<char>(byte);
      const bool ss3 = sequence_[1] == 'O';
      if (ss3 || (byte >= 0x40 && byte <= 0x7E)) {
        EndSequence();
      } else if (sequence_.size() > kLongestSequence) {
        sequence_.clear();
      }
      return;
    }
  }
  switch (byte) {
    case kEsc:
      sequence_.assign(1, static_cast<char>(kEsc));
      return;
    case 0x7F:
    case 0x08:
      Emit(DecodedKey::kCode, 8);
      return;
    case '\r':
    case '\n':
      Emit(DecodedKey::kCode, 13);
      return;
    case '\t':
      Emit(DecodedKey::kFocusNext);
      return;
    case ' ':
      Emit(DecodedKey::kPress);
      return;
    default:
      if (byte < 0x80) Emit(DecodedKey::kCode, byte);
      return;
  }
}

void KeyDecoder::EndSequence() {
  switch (sequence_.back()) {
    case 'A':  // up
    case 'D':  // left
    case 'Z':  // Shift-Tab
      Emit(DecodedKey::kFocusPrevious);
      break;
    case 'B':  // down
    case 'C':  // right
      Emit(DecodedKey::kFocusNext);
      break;
    case 'M':  // keypad Enter (SS3 M)
      if (sequence_[1] == 'O') Emit(DecodedKey::kCode, 13);
      break;
    default:
      break;
  }
  sequence_.clear();
}

}  // namespace termsim
