// The status line: the battery indicator's callback and what it draws, and the clock.
#include "tests/host_toolkit/text_pattern.h"
#include "tests/host_toolkit/toolkit_fixture.h"

namespace {

struct IndicatorLog {
  int calls = 0;
  std::vector<intptr_t> indicators;
  unsigned short status = 57;
  const char* levelText = "57";
  unsigned short colour = 0xFFFF;
};

IndicatorLog& Indicator() {
  static IndicatorLog log;
  return log;
}

unsigned short LevelCallback(intptr_t indicator) {
  IndicatorLog& log = Indicator();
  ++log.calls;
  log.indicators.push_back(indicator);
  igBatLevel* level = reinterpret_cast<igBatLevel*>(indicator);
  level->SetLevelText(log.levelText);
  level->SetTextColor(log.colour);
  return log.status;
}

class StatusLineTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    Indicator() = IndicatorLog();
  }

  // The status line as the program builds it: clock, then the indicator.
  void Build() {
    line_ = new igStatusLine(20, 1);
    clock_ = new igClock(0, 0, 240, 20, 3);
    clock_->SetColors(0xFFE0, 0x0000);
    line_->AddChild(clock_);
    ui_->SetStatusLine(line_);
    indicator_ = new igBatLevel(300, 0, 20, 20, LevelCallback);
    indicator_->SetColors(0x0410, indicator_->GetSecondColor());
    indicator_->SetLevelColors(0xFFE0, 0xF800, 0xFFFF);
    line_->AddChild(indicator_);
  }

  // Runs a form's loop for the given number of idle events.
  void RunIdle(int events) {
    igForm* form = NewForm("MAIN");
    Log().answer = [events](int, int call) { return call >= events ? 1 : 2; };
    ui_->Show(form, RecordEvent);
    ui_->WaitEndModal();
  }

  const termsim::ControlInfo& DrawnIndicator() {
    drawn_ = termsim::StatusLine();
    for (const termsim::ControlInfo& control : drawn_.controls) {
      if (control.kind == termsim::ControlKind::kBatLevel) return control;
    }
    static const termsim::ControlInfo none;
    ADD_FAILURE() << "no indicator drawn";
    return none;
  }

  igStatusLine* line_ = nullptr;
  igClock* clock_ = nullptr;
  igBatLevel* indicator_ = nullptr;
  termsim::FormInfo drawn_;
};

TEST_F(StatusLineTest, IndicatorIsNotAskedForItsLevelByItsConstructor) {
  Build();
  EXPECT_EQ(Indicator().calls, 0);
}

TEST_F(StatusLineTest, IndicatorIsAskedWithItselfAtEveryRedraw) {
  Build();
  RunIdle(5);
  // Drawn when the form is shown and after each of the five events.
  EXPECT_EQ(Indicator().calls, 6);
  EXPECT_EQ(termsim::StatusLineRedraws(), 6);
  for (intptr_t asked : Indicator().indicators) {
    EXPECT_EQ(asked, reinterpret_cast<intptr_t>(indicator_));
  }
}

TEST_F(StatusLineTest, LevelTextAndColourSetInsideTheCallbackAreDrawn) {
  Build();
  Indicator().status = 0x1000 | 12;
  Indicator().levelText = "12";
  Indicator().colour = 0xFC10;
  RunIdle(1);
  const termsim::ControlInfo& drawn = DrawnIndicator();
  EXPECT_TRUE(drawn.hasLevelText);
  EXPECT_EQ(drawn.levelText, "12");
  EXPECT_EQ(drawn.textColour, 0xFC10);
  EXPECT_EQ(drawn.status, 0x1000 | 12);
  EXPECT_EQ(drawn.first, 0x0410);
  EXPECT_EQ(drawn.levelLow, 0xF800);
  EXPECT_NE(termsim::ScreenText().find(" | 12\n"), std::string::npos) << termsim::ScreenText();
}

TEST_F(StatusLineTest, NullLevelTextDrawsNoNumber) {
  Build();
  Indicator().status = 0x2000 | 100;
  Indicator().levelText = nullptr;
  RunIdle(1);
  EXPECT_FALSE(DrawnIndicator().hasLevelText);
  EXPECT_EQ(DrawnIndicator().levelText, "");
  const std::string text = termsim::ScreenText();
  EXPECT_EQ(text.substr(text.rfind("status:")).back(), '\n');
  EXPECT_NE(text.find(" | \n"), std::string::npos) << text;
}

TEST_F(StatusLineTest, LevelTextChangesFromOneRedrawToTheNext) {
  Build();
  igForm* form = NewForm("MAIN");
  Log().answer = [](int, int call) {
    Indicator().levelText = call == 1 ? "40" : "39";
    return call == 2 ? 1 : 2;
  };
  onWait_ = [this](int wait) {
    if (wait == 2) {
      EXPECT_EQ(DrawnIndicator().levelText, "40");
    }
  };
  ui_->Show(form, RecordEvent);
  ui_->WaitEndModal();
  EXPECT_EQ(DrawnIndicator().levelText, "39");
}

TEST_F(StatusLineTest, ClockShowsLocalTimeInItsFormat) {
  Build();
  line_->AddChild(new igClock(0, 0, 10, 20, 7));
  line_->AddChild(new igClock(0, 0, 10, 20, 11));
  RunIdle(1);
  const termsim::FormInfo drawn = termsim::StatusLine();
  ASSERT_EQ(drawn.controls.size(), 4u);
  EXPECT_TRUE(MatchesPattern(drawn.controls[0].text, "##:##")) << drawn.controls[0].text;
  EXPECT_TRUE(MatchesPattern(drawn.controls[2].text, "##:##:##")) << drawn.controls[2].text;
  EXPECT_TRUE(MatchesPattern(drawn.controls[3].text, "##.##.#### ##:##"))
      << drawn.controls[3].text;
  EXPECT_TRUE(EndsWithPattern(termsim::ScreenText(), "status: ##:## | 57\n"))
      << termsim::ScreenText();
}

TEST_F(StatusLineTest, WithoutStatusLineTheScreenTextSaysSo) {
  RunIdle(1);
  EXPECT_NE(termsim::ScreenText().find("status:  | \n"), std::string::npos);
  EXPECT_EQ(Indicator().calls, 0);
}

}  // namespace
