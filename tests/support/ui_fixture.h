// Common ground of tests that drive screens: a fresh toolkit on the test display,
// with keys given by a script of steps, and the fake terminal services.
#ifndef TESTS_SUPPORT_UI_FIXTURE_H
#define TESTS_SUPPORT_UI_FIXTURE_H

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>

#include "host/toolkit/test_hooks.h"
#include "platform/ui_toolkit.h"
#include "tests/fakes/fake_terminal_services.h"

namespace test {

// Keys for the test display, each given once its condition holds (checked every time
// the modal loop waits for input; the condition may look at the screen).
class KeyScript {
 public:
  void Press(int code, std::function<bool()> when = [] { return true; }) {
    steps_.push_back({code, std::move(when)});
  }
  // Presses code once the screen shows text (UTF-8).
  void PressWhenShown(int code, const std::string& text) {
    Press(code, [text] { return termsim::ScreenText().find(text) != std::string::npos; });
  }
  // Runs action the next time the loop asks for input.
  void Inspect(std::function<void()> action) {
    steps_.push_back({-1, [action] {
                        action();
                        return true;
                      }});
  }
  int Next() {
    polls_++;
    // A screen that never reaches its end would loop for ever: fail loudly instead.
    if (polls_ > kMaxPolls) {
      ADD_FAILURE() << "no key left for the screen:\n" << termsim::ScreenText();
      return 27;
    }
    if (steps_.empty() || !steps_.front().when()) return -1;
    int code = steps_.front().code;
    steps_.pop_front();
    return code;
  }
  bool Done() const { return steps_.empty(); }

 private:
  static constexpr int kMaxPolls = 2000000;
  struct Step {
    int code;
    std::function<bool()> when;
  };
  std::deque<Step> steps_;
  int polls_ = 0;
};

class UiFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    termsim::ResetToolkit();
    termsim::UseTestDisplay([this] { return keys_.Next(); });
    ui_ = igUI::Init(0);
  }
  void TearDown() override { termsim::ResetToolkit(); }

  // The control of a described form with this name.
  static const termsim::ControlInfo* Named(const termsim::FormInfo& form, const std::string& name) {
    for (const termsim::ControlInfo& c : form.controls) {
      if (c.name == name) return &c;
    }
    return nullptr;
  }
  static std::string Utf8(const std::string& cp1251) { return termsim::Cp1251ToUtf8(cp1251); }

  KeyScript keys_;
  igUI* ui_ = nullptr;
};

}  // namespace test

#endif
