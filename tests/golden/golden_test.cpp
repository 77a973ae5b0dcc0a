// The system's screens as the renderer draws them, compared pixel by pixel with the golden
// PNG files in this folder: the real screens on the test display, with a fixed clock, a
// made-up battery and the fake terminal services. A difference writes the picture drawn
// (NAME.actual.png) and one of the differences (NAME.diff.png, differing pixels in red)
// to the build tree and names them. BATTEST_UPDATE_GOLDENS=1 writes the goldens instead.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_screen.h"
#include "app/message_box.h"
#include "app/screen_refresh.h"
#include "battery/battery_monitor.h"
#include "battery/status_line.h"
#include "host/toolkit/displays/focus_ring.h"
#include "host/toolkit/render/png_file.h"
#include "host/toolkit/render/renderer.h"
#include "host/toolkit/test_hooks.h"
#include "tests/support/wait_until.h"
#include "tests/upload_flow/upload_fixture.h"
#include "upload/upload_dialog.h"

namespace {

using termsim::Image;
using termsim::Screen;

bool Updating() {
  const char* update = std::getenv("BATTEST_UPDATE_GOLDENS");
  return update != nullptr && std::string(update) == "1";
}

std::string Hex(uint16_t colour) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", colour);
  return text;
}

// The picture of the screen, the focus on its first button as a display puts it.
Image Picture(const Screen& screen) {
  termsim::FocusRing focus;
  focus.Update(screen);
  Image image;
  termsim::RenderScreen(screen, focus.Focused(), &image);
  return image;
}

::testing::AssertionResult MatchesGolden(const Screen& screen, const std::string& name) {
  const Image actual = Picture(screen);
  const std::string golden = std::string(GOLDEN_DIR) + "/" + name + ".png";
  std::string error;
  if (Updating()) {
    if (!termsim::WritePng(golden, actual, 1, &error)) {
      return ::testing::AssertionFailure() << error;
    }
    std::printf("wrote %s\n", golden.c_str());
    return ::testing::AssertionSuccess();
  }
  Image expected;
  const bool read = termsim::ReadPng(golden, &expected, &error);
  if (read && expected == actual) return ::testing::AssertionSuccess();

  const std::string out = std::string(GOLDEN_OUT_DIR) + "/" + name;
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  if (!read) {
    failure << error;
  } else if (expected.width != actual.width || expected.height != actual.height) {
    failure << golden << " is " << expected.width << " x " << expected.height
            << ", the screen drawn " << actual.width << " x " << actual.height;
  } else {
    // Differing pixels red, the rest the picture drawn at half brightness.
    Image diff = actual;
    int count = 0;
    for (int y = 0; y < actual.height; ++y) {
      for (int x = 0; x < actual.width; ++x) {
        if (expected.At(x, y) == actual.At(x, y)) {
          diff.At(x, y) = static_cast<uint16_t>((actual.At(x, y) >> 1) & 0x7BEF);
          continue;
        }
        if (count++ == 0) {
          failure << "first difference at (" << x << ", " << y << "): golden "
                  << Hex(expected.At(x, y)) << ", drawn " << Hex(actual.At(x, y)) << "; ";
        }
        diff.At(x, y) = 0xF800;
      }
    }
    failure << count << " pixels differ from " << golden;
    if (!termsim::WritePng(out + ".diff.png", diff, 1, &error)) {
      failure << "; " << error;
    } else {
      failure << "; differences in " << out << ".diff.png";
    }
  }
  if (!termsim::WritePng(out + ".actual.png", actual, 1, &error)) {
    failure << "; " << error;
  } else {
    failure << "; the screen drawn is in " << out << ".actual.png"
            << " (BATTEST_UPDATE_GOLDENS=1 ctest -L golden makes it the golden)";
  }
  return failure;
}

// The screen as it was when a form of this title (UTF-8) was put on it, the nth such form.
Screen DrawnWithTitle(const std::string& title, size_t nth = 0) {
  for (const Screen& screen : termsim::DrawnScreens()) {
    if (termsim::Cp1251ToUtf8(screen.form.title) == title && nth-- == 0) return screen;
  }
  ADD_FAILURE() << "no form titled " << title << " was drawn";
  return Screen();
}

class GoldenScreens : public test::UploadUiFixture {
 protected:
  void SetUp() override {
    UploadUiFixture::SetUp();
    std::tm clock{};
    clock.tm_year = 2017 - 1900;
    clock.tm_mon = 9;
    clock.tm_mday = 14;
    clock.tm_hour = 9;
    clock.tm_min = 5;
    termsim::FixClock(clock);
    // The screen's colours, as the program sets them at start.
    igColor::SetColor(IG_OBJ_SCREEN, 0x0000, 0x001F);
    ASSERT_EQ(mkdir("battery", 0700), 0);
    BatteryFilesDir = "battery";
    BuildStatusLine(ui_);
    StopBatteryMonitor();  // the test makes the monitor's passes itself
  }
  void TearDown() override {
    BatteryFilesDir = "/sys/class/power_supply/battery";
    for (const char* name : {"voltage_max", "voltage_min", "voltage_now"}) {
      unlink((std::string("battery/") + name).c_str());
    }
    rmdir("battery");
    UploadUiFixture::TearDown();
  }

  // A battery of 4.2 V full and 3.4 V empty, now at nowMicrovolts, on the power source
  // given (3 battery, 1 mains) with the coarse level the source reports; one monitor
  // pass reads it.
  void MadeUpBattery(int source, int level, int nowMicrovolts) {
    test::SetPowerSupply(source);
    test::SetBatteryLevel(level);
    std::ofstream("battery/voltage_max") << "4200000\n";
    std::ofstream("battery/voltage_min") << "3400000\n";
    std::ofstream("battery/voltage_now") << nowMicrovolts << "\n";
    ResetBatteryState();
    BatteryMonitorBegin();
    BatteryMonitorPass();
  }
};

TEST_F(GoldenScreens, MainScreenOnBatteryOnExternalPowerAndDischarged) {
  struct Case {
    const char* golden;
    int source, level, now;
  };
  const Case cases[] = {
      {"main_battery", 3, 0, 3950000},   // 68 %, shown as 57
      {"main_external", 1, 4, 3950000},  // mains: level 4 is 92 %, shown as 98, no number
      {"main_discharged", 3, 0, 3480000},  // 10 %, shown as 1: low
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.golden);
    MadeUpBattery(c.source, c.level, c.now);
    unlink(log_);
    ResetMainScreenRefresh();
    igForm* form = BuildMainScreen(ui_);
    keys_.Press(27);
    RunMainScreenOnce(ui_, form);  // the screen stays as its refresh left it
    EXPECT_TRUE(MatchesGolden(termsim::CurrentScreen(), c.golden));
    ui_->Del(form);
  }
}

// A receiver that stays silent until the upload is cancelled: the worker waits in its first
// receive until then, so the cancel always comes before any time-out.
class SilentUntilCancelled : public test::PortPeer {
 public:
  void OnSend(const uint8_t*, size_t) override {}
  int OnRecv(uint8_t*, size_t) override {
    if (!test::WaitUntil([] { return TransferAbort.load() != 0; })) {
      ADD_FAILURE() << "the upload was never cancelled";
    }
    return 0;
  }
};

TEST_F(GoldenScreens, UploadWaitScreenCancelNoticeAndErrorSummary) {
  MadeUpBattery(3, 0, 3950000);
  WriteLog("line\r\n");
  SilentUntilCancelled receiver;
  test::SetPeer(UPLOAD_PORT, &receiver);
  keys_.Press(27);
  keys_.PressWhenShown(13, "СБОЙ -5");
  RunUploadDialog(ui_);
  EXPECT_TRUE(MatchesGolden(DrawnWithTitle("USB СОЕДИНЕНИЕ"), "upload_wait"));
  EXPECT_TRUE(MatchesGolden(DrawnWithTitle("ПОДОЖДИТЕ"), "upload_cancel_notice"));
  EXPECT_TRUE(MatchesGolden(DrawnWithTitle("ОШИБКА"), "summary_error"));
}

TEST_F(GoldenScreens, SummaryOfASuccessfulUpload) {
  MadeUpBattery(3, 0, 3950000);
  WriteLog(std::string(500, 'z'));
  receiver_.Say({'C'});
  keys_.PressWhenShown(13, "ВЫГРУЖЕНО 1 ФАЙЛОВ");
  EXPECT_EQ(RunUploadDialog(ui_), 1);
  EXPECT_TRUE(MatchesGolden(DrawnWithTitle("USB СОЕДИНЕНИЕ", 1), "summary"));
}

TEST_F(GoldenScreens, MessageBoxWithTwoButtons) {
  MadeUpBattery(3, 0, 3950000);
  keys_.Press(27);
  ShowMessageBox(ui_, termsim::Utf8ToCp1251("ВЫГРУЗКА").c_str(),
                 termsim::Utf8ToCp1251("ЖУРНАЛ БУДЕТ ОТПРАВЛЕН НА ПК И УДАЛЕН С ТЕРМИНАЛА. "
                                       "ПРОДОЛЖИТЬ?")
                     .c_str(),
                 MB_OKCANCEL);
  EXPECT_TRUE(MatchesGolden(DrawnWithTitle("ВЫГРУЗКА"), "message_box_two_buttons"));
}

}  // namespace
