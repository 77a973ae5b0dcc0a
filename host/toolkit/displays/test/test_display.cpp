#include "host/toolkit/displays/test/test_display.h"

#include <thread>

namespace termsim {

int TestDisplay::WaitInput(int /*timeoutMs*/) {
  const int key = nextKey_ ? nextKey_() : kNoInput;
  if (key >= 0 && key <= 255) return key;
  // Time passes in no time; let a thread under test make progress meanwhile.
  std::this_thread::yield();
  return kNoInput;
}

}  // namespace termsim
