// The figures of a summary on made-up logs with known answers.
#include "tools/report/analysis.h"

#include <gtest/gtest.h>

#include "tools/report/simulated_log.h"
#include "tools/report/summary_text.h"

namespace {

using report::LogSimulator;
using report::Summary;
using report::Terminal;

const report::Seconds START = report::ToSeconds({2026, 3, 2, 8, 0, 0});
const report::Seconds HOUR = 3600;

// 10 %/h and 80 mV/h from 4.2 V (100 %) towards 3.4 V (0 %), in µV or mV.
std::function<double(double)> Straight(double scale, double fromHour = 0) {
  return [=](double h) { return (4200 - 80 * (h + fromHour)) * scale; };
}

LogSimulator Battery(double scale) { return LogSimulator(START, 4200 * scale, 3400 * scale); }

struct Report {
  explicit Report(std::vector<std::pair<std::string, std::string>> logs) {
    for (auto& [name, text] : logs) files.push_back(report::ParseLogText(name, text));
    terminals = report::BuildTerminals(files);
  }
  Summary Of(size_t i) const { return report::Summarise(terminals.at(i)); }
  std::vector<report::LogFile> files;
  std::vector<Terminal> terminals;
};

TEST(Analysis, StraightDischargeGivesItsRateAndTimeLeft) {
  for (double scale : {1000.0, 1.0}) {  // µV, mV
    SCOPED_TRACE(scale);
    LogSimulator log = Battery(scale);
    log.Discharge(7, Straight(scale));  // down to 30 %
    Report r({{"log.txt", log.Text()}});
    Summary s = r.Of(0);
    EXPECT_EQ(r.terminals[0].unit, scale > 1 ? report::VoltageUnit::Microvolt
                                             : report::VoltageUnit::Millivolt);
    EXPECT_EQ(s.logged, 7 * HOUR);
    EXPECT_DOUBLE_EQ(s.voltsStart, 4.2);
    EXPECT_DOUBLE_EQ(s.voltsEnd, 3.64);
    EXPECT_NEAR(s.percentPerHour, 10, 0.1);
    EXPECT_NEAR(s.millivoltsPerHour, 80, 0.8);
    EXPECT_TRUE(s.reachedLow);
    EXPECT_EQ(s.lowStamp, START + 6 * HOUR);
    ASSERT_TRUE(s.timeLeft.known) << s.timeLeft.whyNot;
    EXPECT_NEAR(s.timeLeft.seconds, 3 * HOUR, 0.05 * 3 * HOUR);
    EXPECT_GT(s.timeLeft.standardError, 0);
    EXPECT_LT(s.timeLeft.standardError, 0.05 * 3 * HOUR);
    EXPECT_EQ(s.timeLeftReadings, 61u);
    EXPECT_TRUE(s.externalPower.empty());
  }
}

TEST(Analysis, AClockJumpStartsASegment) {
  LogSimulator log = Battery(1000);
  log.Discharge(2, Straight(1000));
  log.SetClock(-HOUR);  // the next step is 50 minutes back
  log.Discharge(1, Straight(1000, 2));
  log.SetClock(600);  // a step of 20 minutes: no jump
  log.Discharge(1, Straight(1000, 3));
  log.SetClock(660);  // 21 minutes
  log.Discharge(1, Straight(1000, 4));
  Report r({{"log.txt", log.Text()}});
  const std::vector<report::Segment>& segments = r.terminals[0].segments;
  ASSERT_EQ(segments.size(), 3u);
  EXPECT_EQ(segments[1].why, "log.txt:14: clock went back by 50 min");
  EXPECT_EQ(segments[2].why, "log.txt:28: stamps jump forward by 21 min");
  EXPECT_EQ(r.Of(0).logged, 5 * HOUR + 20 * 60);
}

TEST(Analysis, AVoltageHeldTwoHoursIsProbablyExternalPower) {
  LogSimulator log = Battery(1000);
  log.Discharge(3, Straight(1000));
  log.ExternalPower(2);
  log.Discharge(3, Straight(1000, 3.1));  // off external power at another voltage
  Summary s = Report({{"log.txt", log.Text()}}).Of(0);
  ASSERT_EQ(s.externalPower.size(), 1u);
  EXPECT_EQ(s.externalPower[0].from, START + 3 * HOUR);
  EXPECT_EQ(s.externalPower[0].to, START + 5 * HOUR + 600);  // the last line of the hold
  EXPECT_DOUBLE_EQ(s.externalPower[0].volts, 3.96);
  EXPECT_NEAR(s.percentPerHour, 10, 0.1);  // the hold is not part of the discharge

  LogSimulator brief = Battery(1000);
  brief.Discharge(3, Straight(1000));
  brief.ExternalPower(1.0 / 3);  // held 30 minutes from the last reading on battery
  brief.Discharge(3, Straight(1000, 3.1));
  EXPECT_TRUE(Report({{"log.txt", brief.Text()}}).Of(0).externalPower.empty());
}

TEST(Analysis, LogsOfTwoModelsAreTwoTerminals) {
  LogSimulator a = Battery(1000), b = Battery(1);
  a.Discharge(3, Straight(1000));
  b.Discharge(2, Straight(1));
  std::string aText = a.Text();
  size_t half = aText.find("10:00:00");  // a's log uploaded at 10:00 and again at the end
  Report r({{"in/r_A_202603021100.txt", aText.substr(half)},
            {"r_B_202603021000.txt", b.Text()},
            {"in/r_A_202603021000.txt", aText.substr(0, half)},
            {"plain.txt", b.Text()}});
  ASSERT_EQ(r.terminals.size(), 3u);
  EXPECT_EQ(r.terminals[0].name, "A");
  EXPECT_EQ(r.terminals[1].name, "B");
  EXPECT_EQ(r.terminals[2].name, "plain.txt");
  EXPECT_EQ(r.terminals[0].files.size(), 2u);
  EXPECT_EQ(r.terminals[0].segments.size(), 1u);  // the two uploads join up in time order
  EXPECT_EQ(r.Of(0).logged, 3 * HOUR);
  std::string text = report::SummaryText(r.terminals[0], r.Of(0));
  EXPECT_EQ(text.rfind("Terminal A (in/r_A_202603021000.txt, in/r_A_202603021100.txt)\n", 0), 0u)
      << text;
}

TEST(Analysis, LinesBeforeTheFirstReadingCountOnlyAsLines) {
  std::string text = "02.03.2026 07:40:00 4200000 3400000 0 0% 0%\r\n"
                     "02.03.2026 07:50:00 4200000 3400000 0 0% 0%\r\n";
  LogSimulator log = Battery(1000);
  log.Discharge(1, Straight(1000));
  Summary s = Report({{"log.txt", text + log.Text()}}).Of(0);
  EXPECT_EQ(s.lines, 9u);
  EXPECT_EQ(s.withoutReading, 2u);
  EXPECT_DOUBLE_EQ(s.voltsStart, 4.2);
  EXPECT_DOUBLE_EQ(s.voltsMin, 4.12);
  EXPECT_EQ(s.percentStart, 100);
}

TEST(Analysis, SaysWhyTimeLeftCannotBeEstimated) {
  LogSimulator log = Battery(1000);
  log.SetNoise(100);
  log.Discharge(3, [](double) { return 4050000; });  // 81 % throughout
  Report r({{"log.txt", log.Text()}});
  Summary s = r.Of(0);
  EXPECT_FALSE(s.timeLeft.known);
  EXPECT_EQ(s.fallingTime, 0);
  EXPECT_NE(report::SummaryText(r.terminals[0], s).find(
                "time left to 0 %   cannot be estimated: the filtered percentage never fell"),
            std::string::npos);
}

// A reading held at 40 % while the voltage creeps down: the line through it falls by a
// rounding error, which is no discharge and would put 0 % past any duration.
TEST(Analysis, AFlatTailIsNotFalling) {
  std::string text = "02.03.2026 08:00:00 4200000 3400000 3728000 41% 41%\r\n";
  for (int i = 1; i <= 31; i++) {
    char line[96];
    std::snprintf(line, sizeof line, "02.03.2026 %02d:%02d:00 4200000 3400000 %d 40%% 40%%\r\n",
                  8 + i * 2 / 60, i * 2 % 60, 3720000 - 100 * i);
    text += line;
  }
  Report r({{"log.txt", text}});
  Summary s = r.Of(0);
  EXPECT_FALSE(s.timeLeft.known) << s.timeLeft.seconds;
  std::string summary = report::SummaryText(r.terminals[0], s);
  EXPECT_NE(summary.find("time left to 0 %   cannot be estimated"), std::string::npos) << summary;
}

TEST(Analysis, EveryDurationPrints) {
  EXPECT_EQ(report::FormatDuration(INT64_MIN), "-106751991167300 d 15 h 30 min");
  EXPECT_EQ(report::FormatDuration(INT64_MAX), "106751991167300 d 15 h 30 min");
  EXPECT_EQ(report::FormatDuration(-59), "-59 s");
}

}  // namespace
