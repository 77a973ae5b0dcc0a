#include "host/toolkit/displays/terminal/key_decoder.h"

namespace termsim {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr size_t kLongestSequence = 16;

// The function key of "Esc [ n ~": F1..F12 by n, 0 for another n.
int FunctionKeyOf(int n) {
  static const int kNumbers[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};
  for (int i = 0; i < 12; ++i) {
    if (kNumbers[i] == n) return i + 1;
  }
  return 0;
}

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
    case 'P':  // F1 to F4 (SS3 P to S)
    case 'Q':
    case 'R':
    case 'S':
      if (sequence_[1] == 'O') Emit(DecodedKey::kFunction, sequence_.back() - 'P' + 1);
      break;
    case '~': {  // F5 and up, and F1 to F4 on some terminals: "Esc [ n ~"
      int n = 0;
      size_t i = 2;
      while (i < sequence_.size() && sequence_[i] >= '0' && sequence_[i] <= '9') {
        n = n * 10 + (sequence_[i++] - '0');
      }
      const int key = i + 1 == sequence_.size() ? FunctionKeyOf(n) : 0;
      if (key != 0) Emit(DecodedKey::kFunction, key);
      break;
    }
    default:
      break;
  }
  sequence_.clear();
}

}  // namespace termsim
