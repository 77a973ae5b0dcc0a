// A toolkit started afresh on the test display for each test, with keys queued by the
// test and a record of the calls of a form callback.
#ifndef TESTS_HOST_TOOLKIT_TOOLKIT_FIXTURE_H
#define TESTS_HOST_TOOLKIT_TOOLKIT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "host/toolkit/test_hooks.h"
#include "platform/ui_toolkit.h"

// What the recording callback saw, and what it answers.
struct CallbackLog {
  std::vector<int> codes;
  std::vector<intptr_t> forms;
  // Answer for the n-th call (counted from 1); default: 2, keep the form up.
  std::function<int(int code, int call)> answer;
};

inline CallbackLog& Log() {
  static CallbackLog log;
  return log;
}

inline int RecordEvent(igEvent* event, intptr_t form) {
  CallbackLog& log = Log();
  log.codes.push_back(event->code);
  log.forms.push_back(form);
  return log.answer ? log.answer(event->code, static_cast<int>(log.codes.size())) : 2;
}

class ToolkitTest : public ::testing::Test {
 protected:
  // A loop still running after this many waits has run away: the display then sends
  // Esc, so that the test fails on its checks instead of hanging.
  static constexpr int kRunaway = 10000;

  void SetUp() override {
    termsim::ResetToolkit();
    Log() = CallbackLog();
    termsim::UseTestDisplay([this] { return NextKey(); });
    ui_ = igUI::Init(0);
  }

  void TearDown() override {
    EXPECT_FALSE(runaway_) << "a modal loop did not end by itself";
    termsim::ResetToolkit();
    Log() = CallbackLog();
  }

  int NextKey() {
    ++waits_;
    if (waits_ > kRunaway) {
      runaway_ = true;
      return 27;
    }
    if (onWait_) onWait_(waits_);
    if (keys_.empty()) return -1;
    const int key = keys_.front();
    keys_.pop_front();
    return key;
  }

  igForm* NewForm(const char* title) {
    igForm* form = new igForm(title, nullptr);
    ui_->Add(form);
    return form;
  }

  igUI* ui_ = nullptr;
  std::deque<int> keys_;  // -1 entries stand for a wait without input
  std::function<void(int wait)> onWait_;
  int waits_ = 0;
  bool runaway_ = false;
};

#endif
