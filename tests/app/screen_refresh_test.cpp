// The main screen's refresh: the texts it shows, the log's cadence and lines, the result.
#include "app/screen_refresh.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/main_screen.h"
#include "battery/battery_monitor.h"
#include "tests/support/ui_fixture.h"
#include "tests/support/work_dir.h"

namespace {

constexpr uint32_t TEN_MINUTES = 600000;
constexpr uint32_t ONE_MINUTE = 60000;

class ScreenRefreshTest : public test::UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    ResetBatteryState();
    ResetMainScreenRefresh();
    work_.Enter();
    form_ = BuildMainScreen(ui_);
  }
  void TearDown() override {
    UiFixture::TearDown();
    work_.Leave();
  }

  int Refresh(unsigned char code = 0) {
    igEvent event{code};
    return RefreshMainScreen(&event, reinterpret_cast<intptr_t>(form_));
  }
  // Refreshes after ms more of virtual time.
  void RefreshAfter(uint32_t ms) {
    test::Advance(ms);
    Refresh();
  }
  std::string Text(const char* name) {
    return Utf8(Named(termsim::DescribeForm(form_), name)->text);
  }
  static std::string Log() {
    std::ifstream in("data/report.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static int LogLines() {
    std::string log = Log();
    int lines = 0;
    for (char c : log) lines += c == '\n';
    return lines;
  }
  static void Battery(int max, int min, int now, int linear, int filtered, StatusWord status) {
    BatteryState.voltageMax = max;
    BatteryState.voltageMin = min;
    BatteryState.voltageNow = now;
    BatteryState.linearPercent = static_cast<uint16_t>(linear);
    BatteryState.filteredPercent = static_cast<uint16_t>(filtered);
    BatteryState.status = status;
  }

  igForm* form_ = nullptr;
  test::WorkDir work_;
};

TEST_F(ScreenRefreshTest, ShowsTheBatteryStateInItsControls) {
  Battery(4200000, 3400000, 3800000, 62, 50, 5);
  Refresh();
  EXPECT_EQ(Text("Max"), "4200000");
  EXPECT_EQ(Text("Now"), "3800000");
  EXPECT_EQ(Text("Min"), "3400000");
  EXPECT_EQ(Text("Cur"), "62%");
  EXPECT_EQ(Text("Jit"), "50%");
  EXPECT_EQ(Text("Prc"), "5%");
  EXPECT_EQ(Text("Mode"), "РЕЖИМ: БАТАРЕЯ");
}

TEST_F(ScreenRefreshTest, ModeNamesExternalPowerBeforeDischarge) {
  Battery(0, 0, 0, 0, 0, BAT_EXTERNAL | 77);
  Refresh();
  EXPECT_EQ(Text("Mode"), "РЕЖИМ: ВНЕШНЕЕ ПИТАНИЕ");
  EXPECT_EQ(Text("Prc"), "77%");
  BatteryState.status = BAT_LOW | 1;
  Refresh();
  EXPECT_EQ(Text("Mode"), "РЕЖИМ: РАЗРЯЖЕНО");
  BatteryState.status = BAT_LOW | BAT_EXTERNAL;
  Refresh();
  EXPECT_EQ(Text("Mode"), "РЕЖИМ: ВНЕШНЕЕ ПИТАНИЕ");
}

TEST_F(ScreenRefreshTest, NegativeVoltagesShowSigned) {
  Battery(-1, -20, -5, 0, 0, 0);
  Refresh();
  EXPECT_EQ(Text("Max"), "-1");
  EXPECT_EQ(Text("Min"), "-20");
}

TEST_F(ScreenRefreshTest, FirstRefreshWritesTheLogLineByteForByte) {
  test::SetTicks(123456);
  TerminalTime t{2017, 3, 4, 5, 6, 7, 6};
  test::SetTime(t);
  Battery(4200000, 3400000, 3800000, 62, 50, 5);
  Refresh();
  EXPECT_EQ(Log(), "04.03.2017 05:06:07 4200000 3400000 3800000 62% 50%\r\n");
  EXPECT_EQ(Text("Size"), std::to_string(Log().size()));
}

TEST_F(ScreenRefreshTest, LinesComeEveryTenMinutesAbove40Percent) {
  Battery(420, 340, 380, 41, 41, 5);
  Refresh();
  RefreshAfter(ONE_MINUTE + 1);
  RefreshAfter(TEN_MINUTES - ONE_MINUTE - 1);  // exactly ten minutes: not yet
  EXPECT_EQ(LogLines(), 1);
  RefreshAfter(1);
  EXPECT_EQ(LogLines(), 2);
}

TEST_F(ScreenRefreshTest, LinesComeEveryMinuteAt40Percent) {
  Battery(420, 340, 372, 40, 40, BAT_LOW | 3);
  Refresh();
  RefreshAfter(ONE_MINUTE);
  EXPECT_EQ(LogLines(), 1);
  RefreshAfter(1);
  EXPECT_EQ(LogLines(), 2);
  RefreshAfter(ONE_MINUTE + 1);
  EXPECT_EQ(LogLines(), 3);
}

TEST_F(ScreenRefreshTest, WithoutAVoltageReadingLinesComeEveryTenMinutes) {
  Battery(0, 0, 0, 0, 10, BAT_EXTERNAL | 3);
  Refresh();
  RefreshAfter(ONE_MINUTE + 1);
  EXPECT_EQ(LogLines(), 1);
  RefreshAfter(TEN_MINUTES);
  EXPECT_EQ(LogLines(), 2);
}

TEST_F(ScreenRefreshTest, CadenceHoldsAcrossTheTickCounterWrap) {
  test::SetTicks(0xFFFFFFFFu - 30000);
  Battery(420, 340, 372, 40, 40, BAT_LOW | 3);
  Refresh();
  RefreshAfter(ONE_MINUTE);  // the counter has wrapped
  EXPECT_EQ(LogLines(), 1);
  RefreshAfter(1);
  EXPECT_EQ(LogLines(), 2);
  BatteryState.filteredPercent = 41;
  test::SetTicks(0xFFFFFFFFu - 5);
  ResetMainScreenRefresh();
  Refresh();
  EXPECT_EQ(LogLines(), 3);  // the first refresh logs even just before the wrap
  RefreshAfter(TEN_MINUTES);
  EXPECT_EQ(LogLines(), 3);
  RefreshAfter(1);
  EXPECT_EQ(LogLines(), 4);
}

TEST_F(ScreenRefreshTest, LogThatCannotBeOpenedLosesThatLineOnly) {
  rmdir("data");
  Battery(420, 340, 380, 50, 50, 5);
  Refresh();  // due, but ./data is missing
  EXPECT_EQ(Text("Size"), "0");
  ASSERT_EQ(mkdir("data", 0777), 0);
  RefreshAfter(TEN_MINUTES);
  EXPECT_EQ(LogLines(), 0);  // the next line is a full interval after the lost one
  RefreshAfter(1);
  EXPECT_EQ(LogLines(), 1);
}

// A line that does not fit (a full disk: here a limit on the file's size) goes in not at
// all: the log is cut back to its last whole line, so no torn line runs into the next.
TEST_F(ScreenRefreshTest, ALineThatDoesNotFitLeavesNoTornLine) {
  std::ofstream("data/report.txt", std::ios::binary) << "old line\r\n";
  Battery(4200000, 3400000, 3800000, 62, 50, 5);
  struct rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  struct rlimit limit = before;
  limit.rlim_cur = 20;  // room for 10 more bytes: the write of the line is cut short
  void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  Refresh();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(Log(), "old line\r\n");
  RefreshAfter(TEN_MINUTES + 1);  // room again: the next line is whole, on a line of its own
  EXPECT_EQ(Log().rfind("old line\r\n", 0), 0u);
  EXPECT_EQ(LogLines(), 2);
}

TEST_F(ScreenRefreshTest, SizeReadsZeroForAMissingLog) {
  Battery(420, 340, 380, 50, 50, 5);
  Refresh();
  ASSERT_GT(LogLines(), 0);
  unlink("data/report.txt");  // as after a successful upload
  RefreshAfter(1000);
  EXPECT_EQ(Text("Size"), "0");
}

TEST_F(ScreenRefreshTest, LogLinesAreAppended) {
  std::ofstream("data/report.txt", std::ios::binary) << "old line\r\n";
  Battery(420, 340, 380, 50, 50, 5);
  Refresh();
  EXPECT_EQ(Log().rfind("old line\r\n", 0), 0u);
  EXPECT_EQ(LogLines(), 2);
}

TEST_F(ScreenRefreshTest, UploadCodeGives100AfterTheRefresh) {
  Battery(4200000, 3400000, 3800000, 62, 50, 5);
  EXPECT_EQ(Refresh(8), 100);
  EXPECT_EQ(Text("Max"), "4200000");
  EXPECT_EQ(Refresh(0), 2);
  EXPECT_EQ(Refresh(13), 2);
  EXPECT_EQ(Refresh(27), 2);
}

TEST_F(ScreenRefreshTest, EveryRefreshKeepsTheTerminalAwakeAndBright) {
  Refresh();
  Refresh();
  EXPECT_EQ(test::SleepExCalls(), 2);
  EXPECT_EQ(test::LastSleepExMode(), 0);
  EXPECT_EQ(test::LastBrightness(), 8);
}

}  // namespace
