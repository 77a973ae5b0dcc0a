// A display for unit tests: no output, input from a function, no real waiting.
#ifndef HOST_TOOLKIT_DISPLAYS_TEST_TEST_DISPLAY_H
#define HOST_TOOLKIT_DISPLAYS_TEST_TEST_DISPLAY_H

#include <functional>

#include "host/toolkit/core/display.h"

namespace termsim {

class TestDisplay final : public Display {
 public:
  // nextKey: 0..255 delivers that code; anything else means no input, and the idle
  // time-out passes at once.
  // onDraw, when given, sees every frame drawn.
  explicit TestDisplay(std::function<int()> nextKey,
                       std::function<void(const Screen&)> onDraw = nullptr)
      : nextKey_(std::move(nextKey)), onDraw_(std::move(onDraw)) {}

  void Draw(const Screen& screen) override {
    if (onDraw_) onDraw_(screen);
  }
  int WaitInput(int timeoutMs) override;

 private:
  std::function<int()> nextKey_;
  std::function<void(const Screen&)> onDraw_;
};

}  // namespace termsim

#endif
