// The terminal display on pipes: focus, button presses, Esc, and the terminal given
// back at the end.
#include "host/toolkit/displays/terminal/terminal_display.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

using termsim::Display;
using termsim::Screen;
using termsim::TerminalDisplay;

class TerminalOnPipes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(keys_), 0);
    ASSERT_EQ(pipe(output_), 0);
    fcntl(output_[0], F_SETFL, O_NONBLOCK);
    fcntl(output_[1], F_SETFL, O_NONBLOCK);
    display_ = std::make_unique<TerminalDisplay>(keys_[0], output_[1]);
  }

  void TearDown() override {
    display_.reset();
    for (int fd : {keys_[0], keys_[1], output_[0], output_[1]}) close(fd);
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(write(keys_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Everything written so far (the pipe holds it; tests stay well under its size).
  std::string Output() {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(output_[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
  }

  static Screen TwoButtons(unsigned serial) {
    Screen screen;
    screen.hasForm = true;
    screen.formSerial = serial;
    screen.form.title = "BOX";
    termsim::ControlInfo ok;
    ok.kind = termsim::ControlKind::kButton;
    ok.x = 180;
    ok.y = 150;
    ok.w = 120;
    ok.h = 30;
    ok.text = "OK";
    ok.code = 13;
    termsim::ControlInfo cancel = ok;
    cancel.x = 20;
    cancel.text = "CANCEL";
    cancel.code = 27;
    screen.form.controls = {ok, cancel};  // OK added first, Cancel left of it
    return screen;
  }

  int keys_[2] = {-1, -1};
  int output_[2] = {-1, -1};
  std::unique_ptr<TerminalDisplay> display_;
};

TEST_F(TerminalOnPipes, EntersTheAlternateScreenAndGivesTheTerminalBack) {
  EXPECT_NE(Output().find("\x1b[?1049h\x1b[?25l"), std::string::npos);
  display_.reset();
  const std::string end = Output();
  EXPECT_NE(end.find("\x1b[?25h"), std::string::npos);
  EXPECT_NE(end.find("\x1b[?1049l"), std::string::npos);
}

TEST_F(TerminalOnPipes, SpacePressesTheFocusedButtonInLayoutOrder) {
  display_->Draw(TwoButtons(1));
  Type(" ");
  EXPECT_EQ(display_->WaitInput(1000), 27) << "the leftmost button has the focus first";
  Type("\t ");
  EXPECT_EQ(display_->WaitInput(1000), 13);
  Type("\t\t ");
  EXPECT_EQ(display_->WaitInput(1000), 13) << "the focus wraps around";
  Type("\x1b[D ");
  EXPECT_EQ(display_->WaitInput(1000), 27);
}

TEST_F(TerminalOnPipes, FocusMovesAreDrawnAndANewFormStartsAtItsFirstButton) {
  display_->Draw(TwoButtons(1));
  Output();
  Type("\t");
  EXPECT_EQ(display_->WaitInput(50), Display::kNoInput);
  EXPECT_NE(Output().find("> OK <"), std::string::npos);
  display_->Draw(TwoButtons(2));
  Type(" ");
  EXPECT_EQ(display_->WaitInput(1000), 27);
}

TEST_F(TerminalOnPipes, LoneEscIsDeliveredAfterAShortPause) {
  display_->Draw(TwoButtons(1));
  Type("\x1b");
  EXPECT_EQ(display_->WaitInput(1000), 27);
  Type("\x1b[A\r");
  EXPECT_EQ(display_->WaitInput(1000), 13) << "an arrow key is no Esc";
}

TEST_F(TerminalOnPipes, ClosedInputLeavesTheLoopIdling) {
  close(keys_[1]);
  keys_[1] = -1;
  EXPECT_EQ(display_->WaitInput(30), Display::kNoInput);
  EXPECT_EQ(display_->WaitInput(30), Display::kNoInput);
}

}  // namespace
