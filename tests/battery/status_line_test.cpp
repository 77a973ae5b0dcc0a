// The status line: clock and battery indicator, and the indicator's level callback.
#include "battery/status_line.h"

#include <gtest/gtest.h>

#include <thread>

#include "battery/battery_monitor.h"
#include "tests/support/ui_fixture.h"
#include "tests/support/wait_until.h"

namespace {

class StatusLineTest : public test::UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    ResetBatteryState();
    BatteryIndicator = nullptr;
  }
  void TearDown() override {
    StopBatteryMonitor();
    UiFixture::TearDown();
  }

  // Builds the status line with the monitor held back, so the test owns BatteryState.
  void Build() {
    BuildStatusLine(ui_);
    StopBatteryMonitor();
    ResetBatteryState();
  }
  unsigned short Callback() { return BatteryLevelCallback(reinterpret_cast<intptr_t>(BatteryIndicator)); }
  termsim::ControlInfo Indicator() { return termsim::StatusLine().controls.at(1); }
  // Draws the status line once (a modal wait that ends at its first idle event).
  void Draw() {
    igForm* form = new igForm("", nullptr);
    ui_->Add(form);
    ui_->Show(form, [](igEvent*, intptr_t) { return 1; });
    ui_->WaitEndModal();
    ui_->Del(form);
  }
};

TEST_F(StatusLineTest, HoldsAClockAndTheIndicatorAtTheRightEdge) {
  Build();
  Draw();
  termsim::FormInfo line = termsim::StatusLine();
  ASSERT_EQ(line.controls.size(), 2u);
  const termsim::ControlInfo& clock = line.controls[0];
  EXPECT_EQ(clock.kind, termsim::ControlKind::kClock);
  EXPECT_EQ(clock.x, 0);
  EXPECT_EQ(clock.format, 3);
  EXPECT_EQ(clock.w, 240);
  EXPECT_EQ(clock.h, 20);
  EXPECT_EQ(clock.first, 0xFFE0);
  EXPECT_EQ(clock.second, 0x0000);
  const termsim::ControlInfo& indicator = line.controls[1];
  EXPECT_EQ(indicator.kind, termsim::ControlKind::kBatLevel);
  EXPECT_EQ(indicator.x, 300);
  EXPECT_EQ(indicator.w, 20);
  EXPECT_EQ(indicator.h, 20);
  EXPECT_EQ(indicator.first, 0x0410);
  // Only the first colour changes: the second stays what a new indicator has.
  EXPECT_EQ(indicator.second, (new igBatLevel(0, 0, 20, 20, BatteryLevelCallback))->GetSecondColor());
  EXPECT_EQ(indicator.levelHigh, 0xFFE0);
  EXPECT_EQ(indicator.levelLow, 0xF800);
  EXPECT_EQ(indicator.levelOutline, 0xFFFF);
}

TEST_F(StatusLineTest, IndicatorShows100InWhiteBeforeTheFirstPass) {
  Build();
  Draw();
  EXPECT_EQ(Indicator().levelText, "100");
  EXPECT_EQ(Indicator().textColour, 0xFFFF);
  EXPECT_EQ(Indicator().status, 100);
}

TEST_F(StatusLineTest, LowBatteryNumberTurnsPinkAndBackToWhite) {
  Build();
  BatteryState.status = BAT_LOW | 3;
  EXPECT_EQ(Callback(), BAT_LOW | 3);
  Draw();
  EXPECT_EQ(Indicator().levelText, "3");
  EXPECT_EQ(Indicator().textColour, 0xFC10);
  BatteryState.status = 52;
  Callback();
  Draw();
  EXPECT_EQ(Indicator().levelText, "52");
  EXPECT_EQ(Indicator().textColour, 0xFFFF);
}

TEST_F(StatusLineTest, ExternalPowerShowsNoNumberAndLeavesTheColour) {
  Build();
  BatteryState.status = BAT_LOW | 3;
  Callback();
  BatteryState.status = BAT_EXTERNAL | 77;
  EXPECT_EQ(Callback(), BAT_EXTERNAL | 77);
  Draw();
  EXPECT_FALSE(Indicator().hasLevelText);
  EXPECT_EQ(Indicator().textColour, 0xFC10);
}

TEST_F(StatusLineTest, NullStatusLineCreatesNothingAndStartsNoMonitor) {
  StartBatteryIndicator(nullptr);
  EXPECT_EQ(BatteryIndicator, nullptr);
  test::SetPowerSupply(1);
  test::SetBatteryLevel(2);
  for (int i = 0; i < 1000; i++) std::this_thread::yield();
  EXPECT_EQ(BatteryState.status.load(), 100);  // no monitor pass has run
  EXPECT_EQ(test::Ticks(), 0u);                // and nobody slept
}

TEST_F(StatusLineTest, BuildingStartsTheMonitor) {
  test::SetPowerSupply(1);
  test::SetBatteryLevel(2);
  BuildStatusLine(ui_);
  ASSERT_TRUE(test::WaitUntil([] { return BatteryState.status.load() != 100; }))
      << "the monitor made no pass";
  StopBatteryMonitor();
  EXPECT_EQ(BatteryState.status.load(), BAT_EXTERNAL | 48);
}

}  // namespace
