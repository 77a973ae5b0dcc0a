// The script display's commands, read from a pipe.
#include "host/toolkit/displays/script/script_display.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "host/toolkit/render/png_file.h"
#include "host/toolkit/render/renderer.h"
#include "tests/host_services/test_support.h"
#include "tests/host_toolkit/sample_screens.h"

namespace {

using termsim::Display;
using termsim::ScriptDisplay;

class ScriptCommands : public ::testing::Test {
 protected:
  void TearDown() override {
    if (out_ != nullptr) std::fclose(out_);
    if (err_ != nullptr) std::fclose(err_);
  }

  // A display reading the given script; the input ends after it.
  void Start(const std::string& script) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], script.data(), script.size()), static_cast<ssize_t>(script.size()));
    close(fds[1]);
    inFd_ = fds[0];
    out_ = std::tmpfile();
    err_ = std::tmpfile();
    display_ = std::make_unique<ScriptDisplay>(inFd_, out_, err_);
  }

  static std::string Read(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    return text;
  }

  // Waits until an event comes and returns it, counting the time-outs before it.
  int NextEvent(int timeoutMs = 20) {
    timeouts_ = 0;
    for (int i = 0; i < 1000; ++i) {
      const int input = display_->WaitInput(timeoutMs);
      if (input != Display::kNoInput) return input;
      ++timeouts_;
    }
    return Display::kNoInput;
  }

  static termsim::Screen ScreenWith(const std::string& title) {
    termsim::Screen screen;
    screen.hasForm = true;
    screen.form.title = title;
    return screen;
  }

  ~ScriptCommands() override {
    display_.reset();
    if (inFd_ >= 0) close(inFd_);
  }

  std::unique_ptr<ScriptDisplay> display_;
  int inFd_ = -1;
  std::FILE* out_ = nullptr;
  std::FILE* err_ = nullptr;
  int timeouts_ = 0;
};

TEST_F(ScriptCommands, KeyDeliversItsCode) {
  Start("key 8\nkey 0\nkey 255\n");
  EXPECT_EQ(NextEvent(), 8);
  EXPECT_EQ(NextEvent(), 0);
  EXPECT_EQ(NextEvent(), 255);
  EXPECT_EQ(timeouts_, 0);
}

TEST_F(ScriptCommands, BlankLinesAndCommentsAreSkipped) {
  Start("\n# a comment\n   \n  # indented comment\nkey 13\n");
  EXPECT_EQ(NextEvent(), 13);
  EXPECT_EQ(Read(err_), "");
}

TEST_F(ScriptCommands, MalformedAndUnknownCommandsAreReportedAndSkipped) {
  Start("key 256\nkey -1\nkey\nkey 1x\nwait soon\nwaitfor 100\npress 8\nscreen now\nkey 27\n");
  EXPECT_EQ(NextEvent(), 27);
  const std::string errors = Read(err_);
  int lines = 0;
  for (char c : errors) lines += c == '\n';
  EXPECT_EQ(lines, 8) << errors;
  EXPECT_NE(errors.find("script line 7: unknown command: press 8"), std::string::npos) << errors;
  EXPECT_NE(errors.find("script line 1:"), std::string::npos) << errors;
  EXPECT_EQ(Read(out_), "") << "nothing printed for bad commands";
}

TEST_F(ScriptCommands, ScreenPrintsTheLastDrawnScreenAndADashLine) {
  Start("screen\nkey 1\nscreen\nkey 2\n");
  display_->Draw(ScreenWith("FIRST"));
  EXPECT_EQ(NextEvent(), 1);
  display_->Draw(ScreenWith("SECOND"));
  EXPECT_EQ(NextEvent(), 2);
  EXPECT_EQ(Read(out_), "FIRST\nstatus:  | \n--\nSECOND\nstatus:  | \n--\n");
}

TEST_F(ScriptCommands, WaitLetsTimeOutsPassForItsDuration) {
  Start("wait 300\nkey 5\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(NextEvent(100), 5);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(300));
  EXPECT_GE(timeouts_, 1);
  EXPECT_LE(timeouts_, 4) << "each time-out lasts its 100 ms";
}

TEST_F(ScriptCommands, WaitForGoesOnAtOnceWhenTheTextIsOnScreen) {
  Start("waitfor 60000 BUSY\nkey 7\n");
  display_->Draw(ScreenWith("NOT BUSY"));
  EXPECT_EQ(NextEvent(), 7);
  EXPECT_EQ(timeouts_, 0);
}

TEST_F(ScriptCommands, WaitForGoesOnWhenTheTextAppears) {
  Start("waitfor 60000 USB СОЕДИНЕНИЕ\nkey 7\n");
  display_->Draw(ScreenWith("MAIN"));
  EXPECT_EQ(display_->WaitInput(10), Display::kNoInput);
  EXPECT_EQ(display_->WaitInput(10), Display::kNoInput);
  display_->Draw(ScreenWith("USB \xD1\xCE\xC5\xC4\xC8\xCD\xC5\xCD\xC8\xC5"));  // Windows-1251
  EXPECT_EQ(NextEvent(), 7);
  EXPECT_EQ(timeouts_, 0);
}

TEST_F(ScriptCommands, WaitForGivesUpQuietlyAfterItsTime) {
  Start("waitfor 100 NEVER SHOWN\nkey 9\n");
  display_->Draw(ScreenWith("MAIN"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(NextEvent(30), 9);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(Read(err_), "");
}

TEST_F(ScriptCommands, EndOfInputIsAQuitFromThenOn) {
  Start("key 4\n");
  EXPECT_EQ(NextEvent(), 4);
  EXPECT_EQ(display_->WaitInput(10), Display::kQuit);
  EXPECT_EQ(display_->WaitInput(10), Display::kQuit);
}

TEST_F(ScriptCommands, LastLineWithoutLineBreakAndCrLfLinesAreCarriedOut) {
  Start("key 3\r\nkey 6");
  EXPECT_EQ(NextEvent(), 3);
  EXPECT_EQ(NextEvent(), 6);
  EXPECT_EQ(NextEvent(), Display::kQuit);
}

TEST_F(ScriptCommands, NoCommandYetMeansTheTimeOutPasses) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  inFd_ = fds[0];
  out_ = std::tmpfile();
  err_ = std::tmpfile();
  display_ = std::make_unique<ScriptDisplay>(inFd_, out_, err_);
  EXPECT_EQ(display_->WaitInput(20), Display::kNoInput);
  const char command[] = "key 12\n";
  ASSERT_EQ(write(fds[1], command, sizeof command - 1), static_cast<ssize_t>(sizeof command - 1));
  EXPECT_EQ(display_->WaitInput(1000), 12);
  close(fds[1]);
}

}  // namespace

namespace {

// png writes the screen as the renderer draws it, the focus on the first button, and
// --scale enlarges it; a file that cannot be written is reported and the script goes on.
TEST_F(ScriptCommands, PngWritesThePictureOfTheScreen) {
  const test::TempDir temp;
  const std::string& dir = temp.path();
  Start("png " + dir + "/a.png\npng " + dir + "/b.png --scale 2\npng " + dir +
        "/none/c.png\npng " + dir + "/d.png --scale 0\npng\nkey 5\n");
  termsim::Screen screen = test::MainScreen();
  screen.formSerial = 1;
  display_->Draw(screen);
  EXPECT_EQ(NextEvent(), 5);
  termsim::Image expected, a, b;
  termsim::RenderScreen(screen, 6, &expected);
  std::string error;
  EXPECT_TRUE(termsim::ReadPng(dir + "/a.png", &a, &error)) << error;
  EXPECT_TRUE(a == expected);
  EXPECT_TRUE(termsim::ReadPng(dir + "/b.png", &b, &error)) << error;
  ASSERT_EQ(b.width, 640);
  EXPECT_EQ(b.At(639, 479), expected.At(319, 239));
  EXPECT_EQ(b.At(5, 301), expected.At(2, 150));
  const std::string errors = Read(err_);
  EXPECT_NE(errors.find("script line 3: cannot write " + dir + "/none/c.png"), std::string::npos)
      << errors;
  EXPECT_NE(errors.find("script line 4: png --scale needs"), std::string::npos) << errors;
  EXPECT_NE(errors.find("script line 5: png needs a file name"), std::string::npos) << errors;
  EXPECT_NE(access((dir + "/d.png").c_str(), F_OK), 0);
}

}  // namespace
