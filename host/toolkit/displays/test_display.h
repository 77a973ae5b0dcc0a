// A display for unit tests: no output, input from a function, no real waiting.
#ifndef HOST_TOOLKIT_DISPLAYS_TEST_DISPLAY_H
#define HOST_TOOLKIT_DISPLAYS_TEST_DISPLAY_H

#include <functional>

#include "host/toolkit/display.h"

namespace termsim {

class TestDisplay final : public Display {
 public:
  // nextKey: 0..255 delivers that code; anything else means no input, and the idle
  // time-out passes at once.
  explicit TestDisplay(std::function<int()> nextKey) : nextKey_(std::move(nextKey)) {}

  void Draw(const Screen& /*screen*/) override {}
  int WaitInput(int timeoutMs) override;

 private:
  std::function<int()> nextKey_;
};

}  // namespace termsim

#endif
