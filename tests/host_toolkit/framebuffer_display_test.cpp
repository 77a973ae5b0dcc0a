// The framebuffer display on file-backed framebuffers: its pixels against the renderer's,
// keys from a file of input events, screenshots, and the refusals before anything is drawn.
#include "host/toolkit/displays/framebuffer/framebuffer_display.h"

#include <gtest/gtest.h>
#include <linux/input.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/toolkit/displays/focus_ring.h"
#include "host/toolkit/look/screen_text.h"
#include "host/toolkit/render/png_file.h"
#include "host/toolkit/render/renderer.h"
#include "tests/host_toolkit/sample_screens.h"
#include "tests/host_services/test_support.h"
#include "tests/support/framebuffer_check.h"

namespace {

using termsim::Display;
using termsim::FramebufferDisplay;
using termsim::FramebufferSettings;
using termsim::Image;
using termsim::Screen;

Image Picture(const Screen& screen, int focus) {
  Image image;
  termsim::RenderScreen(screen, focus, &image);
  return image;
}

// The main screen with a second button beside the first.
Screen TwoButtonScreen() {
  Screen screen = test::MainScreen();
  screen.formSerial = 1;
  screen.form.controls[7] = test::Control(termsim::ControlKind::kButton, 160, 130, 158, 35, "ОК");
  screen.form.controls[7].code = 13;
  screen.form.controls[7].second = 0xC618;
  return screen;
}

class FramebufferOnFiles : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(temp_.path().empty()); }

  std::string Path(const std::string& name) { return temp_ / name; }

  // A file of input events: each key pressed and let go, with a report after each.
  std::string Keys(const std::vector<unsigned short>& keys, const std::string& name = "keys") {
    std::vector<input_event> events;
    auto add = [&events](unsigned short type, unsigned short code, int value) {
      input_event event{};
      event.type = type;
      event.code = code;
      event.value = value;
      events.push_back(event);
    };
    bool shift = false;
    for (unsigned short key : keys) {
      if (key == KEY_LEFTSHIFT) {
        shift = !shift;
        add(EV_KEY, key, shift ? 1 : 0);
        continue;
      }
      add(EV_KEY, key, 1);
      add(EV_SYN, SYN_REPORT, 0);
      add(EV_KEY, key, 0);
      add(EV_SYN, SYN_REPORT, 0);
    }
    const std::string path = Path(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(events.data()),
               static_cast<std::streamsize>(events.size() * sizeof(input_event)));
    return path;
  }

  FramebufferSettings Settings(const std::string& geometry, const std::string& input) {
    FramebufferSettings settings;
    settings.framebuffer = Path("fb") + ":" + geometry;
    settings.input = input;
    settings.screenshots = temp_.path();
    settings.screenWidth = 320;
    settings.screenHeight = 240;
    return settings;
  }

  void Open(const FramebufferSettings& settings) {
    std::string error;
    display_ = FramebufferDisplay::Open(settings, &error);
    ASSERT_TRUE(display_) << error;
  }

  // The first event within a second.
  int NextEvent() {
    for (int i = 0; i < 50; ++i) {
      const int input = display_->WaitInput(20);
      if (input != Display::kNoInput) return input;
    }
    return Display::kNoInput;
  }

  test::TempDir temp_;
  std::unique_ptr<FramebufferDisplay> display_;
};

// At 16 bits 1:1 and at 32 bits enlarged twice and centred with a border, the framebuffer
// holds the renderer's picture after the first screen and after each change.
TEST_F(FramebufferOnFiles, ShowsTheRenderersPixelsInBothFormats) {
  for (const char* geometry : {"320x240:16", "700x500:32"}) {
    SCOPED_TRACE(geometry);
    const FramebufferSettings settings = Settings(geometry, Keys({}));
    Open(settings);
    Screen screen = TwoButtonScreen();
    display_->Draw(screen);
    EXPECT_EQ(test::FramebufferMismatch(settings.framebuffer, Picture(screen, 6)), "");
    screen.form.controls[1].text = "1";
    screen.statusLine.controls[0].text = "23:59";
    display_->Draw(screen);
    EXPECT_EQ(test::FramebufferMismatch(settings.framebuffer, Picture(screen, 6)), "");
    screen.formSerial = 2;
    screen.form.flags = 40;
    screen.form.second = 0x8000;
    display_->Draw(screen);
    EXPECT_EQ(test::FramebufferMismatch(settings.framebuffer, Picture(screen, 6)), "");
    display_.reset();
    unlink(Path("fb").c_str());
  }
}

// Backspace, Enter, Esc and letters give their codes; Tab moves the focus, drawn at once;
// Space presses the focused button; at the end of the file the time-outs pass.
TEST_F(FramebufferOnFiles, KeysComeFromAFileOfInputEvents) {
  const FramebufferSettings settings =
      Settings("320x240:16", Keys({KEY_BACKSPACE, KEY_TAB, KEY_SPACE, KEY_LEFTSHIFT, KEY_TAB,
                                   KEY_A, KEY_LEFTSHIFT, KEY_A, KEY_ENTER, KEY_ESC, KEY_5}));
  Open(settings);
  const Screen screen = TwoButtonScreen();
  display_->Draw(screen);
  EXPECT_EQ(NextEvent(), 8);
  EXPECT_EQ(NextEvent(), 13) << "Tab, then Space on the second button";
  EXPECT_EQ(test::FramebufferMismatch(settings.framebuffer, Picture(screen, 7)), "")
      << "the focus drawn on the second button";
  EXPECT_EQ(NextEvent(), 'A') << "Shift-Tab back to the first button, then Shift-A";
  EXPECT_EQ(test::FramebufferMismatch(settings.framebuffer, Picture(screen, 6)), "");
  EXPECT_EQ(NextEvent(), 'a');
  EXPECT_EQ(NextEvent(), 13);
  EXPECT_EQ(NextEvent(), 27);
  EXPECT_EQ(NextEvent(), '5');
  EXPECT_EQ(display_->WaitInput(0), Display::kNoInput);
}

// Print Screen saves the renderer's picture of the screen and its text, then goes on.
TEST_F(FramebufferOnFiles, PrintScreenSavesThePictureAndTheText) {
  Open(Settings("320x240:16", Keys({KEY_SYSRQ, KEY_ENTER})));
  const Screen screen = TwoButtonScreen();
  display_->Draw(screen);
  EXPECT_EQ(NextEvent(), 13);
  Image saved;
  std::string error;
  ASSERT_TRUE(termsim::ReadPng(Path("screen-1.png"), &saved, &error)) << error;
  EXPECT_TRUE(saved == Picture(screen, 6));
  EXPECT_EQ(test::ReadFile(Path("screen-1.txt")), termsim::ScreenTextOf(screen));
}

// A missing framebuffer, one reached through a link, a geometry no screen has, a format
// not supported, one too small, or an input device that cannot be read is refused in one
// sentence naming the variable and the device, and the framebuffer is left as it was.
TEST_F(FramebufferOnFiles, RefusesBeforeDrawingAnything) {
  const std::string keys = Keys({});
  struct Case {
    std::string framebuffer, input, expected;
  };
  const std::string fb = Path("fb");
  test::WriteFile(fb, std::string(320 * 240 * 2, '\xAB'));
  ASSERT_EQ(symlink(fb.c_str(), Path("link").c_str()), 0);
  const Case cases[] = {
      {Path("link") + ":320x240:16", keys,
       "The framebuffer " + Path("link") + ":320x240:16 named by TERMSIM_FB cannot be opened: "
       "Too many levels of symbolic links"},
      {Path("wide") + ":8193x1:16", keys, "is 8193 x 1 pixels, which no screen is"},
      {Path("tall") + ":1x8193:16", keys, "is 1 x 8193 pixels, which no screen is"},
      {Path("none") + ":0x240:16", keys, "is 0 x 240 pixels, which no screen is"},
      {fb + ":320x240:0", keys, "has 0 bits per pixel, which is not supported"},
      {Path("no/fb0"), keys,
       "The framebuffer " + Path("no/fb0") + " named by TERMSIM_FB cannot be opened"},
      {keys, keys, "The framebuffer " + keys + " named by TERMSIM_FB is not a framebuffer device"},
      {fb + ":320x240:24", keys,
       "named by TERMSIM_FB has 24 bits per pixel, which is not supported"},
      {fb + ":160x120:16", keys,
       "TERMSIM_FB is 160 x 120 pixels, too small for the 320 x 240 screen."},
      {fb + ":320x240:16", Path("no/event0"),
       "The input device " + Path("no/event0") + " named by TERMSIM_INPUT cannot be read"},
      {fb + ":320x240:16", temp_.path(),
       "The input device " + temp_.path() + " named by TERMSIM_INPUT cannot be read"},
      {fb + ":320x240:16", "/dev/zero",
       "The device /dev/zero named by TERMSIM_INPUT is not an input event device"},
  };
  for (const Case& c : cases) {
    FramebufferSettings settings = Settings("320x240:16", c.input);
    settings.framebuffer = c.framebuffer;
    std::string error;
    EXPECT_FALSE(FramebufferDisplay::Open(settings, &error));
    EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    EXPECT_EQ(error.back(), '.') << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
  EXPECT_EQ(test::ReadFile(fb), std::string(320 * 240 * 2, '\xAB')) << "nothing drawn";
  for (const char* refused : {"wide", "tall", "none"}) {
    EXPECT_FALSE(std::filesystem::exists(Path(refused))) << refused << " was made";
  }
}

}  // namespace
