// Input event records from the keyboard device (or a file or pipe of them), arriving in
// reads of any size: the first byte of each piece gives the length of the next read.
#include <cstdint>
#include <cstdlib>

#include "host/toolkit/displays/framebuffer/evdev_keys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  termsim::EvdevKeys keys;
  size_t at = 0;
  while (at < size) {
    size_t piece = data[at++] % 64 + 1;
    if (piece > size - at) piece = size - at;
    keys.FeedBytes(reinterpret_cast<const char*>(data + at), piece);
    at += piece;
    termsim::DecodedKey key;
    while (keys.Pop(&key)) {
    }
  }
  return 0;
}
