// Reading the log: each kind of malformed line is reported as FILE:LINE and skipped, the
// valid lines around it are kept; the model comes from the upload's name.
#include "tools/report/log_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <vector>

namespace {

using report::LogFile;
using report::ParseLogText;

const char GOOD[] = "02.03.2026 08:00:00 4200000 3400000 4100000 87% 87%\r\n";

std::vector<int> Lines(const LogFile& file) {
  std::vector<int> lines;
  for (const report::NumberedReading& r : file.readings) lines.push_back(r.line);
  return lines;
}

TEST(LogReader, ReadsAValidLine) {
  LogFile file = ParseLogText("log.txt", GOOD);
  ASSERT_EQ(file.readings.size(), 1u);
  const report::Reading& r = file.readings[0].reading;
  EXPECT_EQ(report::FormatStamp(r.time), "02.03.2026 08:00:00");
  EXPECT_EQ(r.voltageMax, 4200000);
  EXPECT_EQ(r.voltageMin, 3400000);
  EXPECT_EQ(r.voltageNow, 4100000);
  EXPECT_EQ(r.linearPercent, 87);
  EXPECT_EQ(r.filteredPercent, 87);
  EXPECT_TRUE(file.diagnostics.empty());
  EXPECT_TRUE(file.error.empty());
}

TEST(LogReader, ReportsEachMalformedLineAndKeepsTheOthers) {
  std::string text = std::string(GOOD) +                                 // 1
                     "30.02.2026 08:10:00 4200000 3400000 4090000 86% 86%\r\n"  // 2
                     + GOOD +                                            // 3
                     "02.03.2026 08:30:00 4200000 3400000 85% 85%\r\n"   // 4
                     "02.03.2026 08:40:00 4200000 3400000 4080000 85% 101%\r\n"  // 5
                     "02.03.2026 08:50:00 4200000 3400000 4070000 84% 84%\n"     // 6
                     "\r\n"                                              // 7
                     + GOOD +                                            // 8
                     "02.03.2026 09:00:00 4200000 3400000 4060000 83% 83% 1\r\n"  // 9
                     "02.03.2026 09:10:00 4200000 3400000 4060000 83% 83%";      // 10
  LogFile file = ParseLogText("dir/log.txt", text);
  EXPECT_EQ(Lines(file), (std::vector<int>{1, 3, 8}));
  ASSERT_EQ(file.diagnostics.size(), 7u);
  EXPECT_EQ(file.diagnostics[0].rfind("dir/log.txt:2: bad date '30.02.2026'", 0), 0u) << file.diagnostics[0];
  EXPECT_EQ(file.diagnostics[1].rfind("dir/log.txt:4: missing field: 6 of 7", 0), 0u) << file.diagnostics[1];
  EXPECT_EQ(file.diagnostics[2], "dir/log.txt:5: filtered percentage '101%' is over 100 %");
  EXPECT_EQ(file.diagnostics[3], "dir/log.txt:6: line ends in LF alone, not CR LF");
  EXPECT_EQ(file.diagnostics[4], "dir/log.txt:7: empty line");
  EXPECT_EQ(file.diagnostics[5], "dir/log.txt:9: text after the filtered percentage: '1'");
  EXPECT_EQ(file.diagnostics[6], "dir/log.txt:10: last line has no CR LF (cut short?)");
  EXPECT_TRUE(file.error.empty());
}

TEST(LogReader, AFileWithoutAValidLineIsAnError) {
  EXPECT_EQ(ParseLogText("a.txt", "garbage\r\n").error, "a.txt: no valid line");
  EXPECT_EQ(ParseLogText("b.txt", "").error, "b.txt: no valid line");
  EXPECT_EQ(report::ReadLogFile("/nonexistent/c.txt").error,
            "/nonexistent/c.txt: cannot read: No such file or directory");
}

// Whatever a file holds, what is kept of it is bounded: a hundred diagnostics and a count.
TEST(LogReader, KeepsTheFirstHundredDiagnosticsAndCountsTheRest) {
  LogFile file = ParseLogText("lf.txt", std::string(1000, '\n') + GOOD);
  EXPECT_EQ(file.readings.size(), 1u);
  ASSERT_EQ(file.diagnostics.size(), report::MAX_DIAGNOSTICS);
  EXPECT_EQ(file.diagnostics.back(), "lf.txt:100: empty line");
  EXPECT_EQ(file.diagnosticsLeftOut, 900u);
}

TEST(LogReader, SaysWhatIsWrongWithLongLinesAndCrLineEnds) {
  LogFile file = ParseLogText("x.txt", std::string(1 << 20, 'x') + "\r\n" + GOOD);
  ASSERT_EQ(file.diagnostics.size(), 1u);
  EXPECT_EQ(file.diagnostics[0], "x.txt:1: line of 1048577 bytes, longer than any log line");
  std::string good = GOOD, cr = good.substr(0, good.size() - 2) + "\r";
  for (size_t times : {2u, 9u}) {  // shorter, and longer than a line may be
    std::string text;
    for (size_t i = 0; i < times; i++) text += cr;
    file = ParseLogText("cr.txt", text);
    ASSERT_EQ(file.diagnostics.size(), 1u);
    EXPECT_EQ(file.diagnostics[0], "cr.txt:1: CR alone at column " +
                                       std::to_string(cr.size()) +
                                       ": the file uses CR line ends, not CR LF");
  }
}

TEST(LogReader, ShowsControlCharactersOfANameInItsDiagnostics) {
  EXPECT_EQ(ParseLogText("a\nb:1: fine\x7f", "\r\n").diagnostics.at(0),
            "a\\x0Ab:1: fine\\x7F:1: empty line");
}

// Every day from 1970 to 2100 has the stamp the C library's calendar gives it, and back:
// leap days (2000 and 2028, not 2100) and the turns of February included.
TEST(LogReader, StampsFollowTheCalendarOnEveryDay) {
  // To 2101-01-01, or to 2038 where time_t has 32 bits (the ARM build).
  const int64_t end = sizeof(time_t) >= 8 ? 4133980800 : 2147483647;
  for (int64_t s = 0; s < end; s += 86400) {
    const time_t when = static_cast<time_t>(s);
    tm day{};
    ASSERT_NE(gmtime_r(&when, &day), nullptr);
    const report::CivilTime t{day.tm_year + 1900, day.tm_mon + 1, day.tm_mday, 0, 0, 0};
    ASSERT_TRUE(report::IsValidCivil(t)) << t.day << "." << t.month << "." << t.year;
    ASSERT_EQ(report::ToSeconds(t), s) << t.day << "." << t.month << "." << t.year;
    const report::CivilTime back = report::ToCivil(s);
    ASSERT_EQ(std::vector<int>({back.year, back.month, back.day}),
              std::vector<int>({t.year, t.month, t.day}));
  }
  EXPECT_FALSE(report::IsValidCivil({2100, 2, 29, 0, 0, 0}));
  EXPECT_FALSE(report::IsValidCivil({2027, 2, 29, 0, 0, 0}));
}

TEST(LogReader, TakesTheModelFromAnUploadName) {
  std::string model;
  ASSERT_TRUE(report::ModelFromFileName("in/r_TM-7_202603021830.txt", &model));
  EXPECT_EQ(model, "TM-7");
  ASSERT_TRUE(report::ModelFromFileName("r__202603021830.txt", &model));
  EXPECT_EQ(model, "");
  ASSERT_TRUE(report::ModelFromFileName("r_A_B_202603021830.txt", &model));
  EXPECT_EQ(model, "A_B");
  EXPECT_FALSE(report::ModelFromFileName("report.txt", &model));
  EXPECT_FALSE(report::ModelFromFileName("r_TM-7_20260302183.txt", &model));
  for (const char* notAnUpload : {"r_TM-7_x02603021830.txt", "r_TM-7_20260302183x.txt"}) {
    EXPECT_FALSE(report::ModelFromFileName(notAnUpload, &model)) << notAnUpload;
  }
  EXPECT_FALSE(report::ModelFromFileName("r_TM-7_202603021830.txt/x", &model));
}

}  // namespace
