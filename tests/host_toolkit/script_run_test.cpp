// A whole program on the toolkit driven through the script display, as automation
// drives the utility: standard input in, screens out, exit at the end of the input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/host_toolkit/child_process.h"
#include "tests/host_toolkit/text_pattern.h"

namespace {

using test::ChildRun;
using test::RunChild;

ChildRun RunDemo(const std::string& script) {
  return RunChild(TOOLKIT_DEMO, {"TERMSIM_DISPLAY=script"}, script);
}

// The screens printed, each without its "--" line.
std::vector<std::string> Screens(const std::string& out) {
  std::vector<std::string> screens;
  size_t start = 0;
  for (size_t end; (end = out.find("--\n", start)) != std::string::npos; start = end + 3) {
    screens.push_back(out.substr(start, end - start));
  }
  return screens;
}

int IdleCount(const std::string& screen) {
  const std::string label = "Простои: ";
  const size_t at = screen.find(label);
  if (at == std::string::npos) return -1;
  return std::atoi(screen.c_str() + at + label.size());
}

TEST(ScriptRun, EndOfInputEndsTheProgramWithStatusZeroWhileThreadsRun) {
  const ChildRun run = RunDemo("screen\n");
  ASSERT_TRUE(run.started);
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
  EXPECT_LT(run.wallSeconds, 10.0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> screens = Screens(run.out);
  ASSERT_EQ(screens.size(), 1u) << run.out;
  EXPECT_TRUE(MatchesPattern(screens[0],
                             "ДЕМО\n"
                             "Простои: 0\n"
                             "\n"
                             "\n"
                             "[ПУСК]\n"
                             "status: ##:## | 57\n"))
      << screens[0];
}

TEST(ScriptRun, KeysAndButtonCodesDriveTheProgramsForms) {
  const ChildRun run = RunDemo(
      "key 65\n"
      "screen\n"
      "key 8\n"
      "waitfor 60000 ВОПРОС\n"
      "screen\n"
      "key 27\n"
      "waitfor 60000 Ответ: -1\n"
      "screen\n"
      "key 8\n"
      "waitfor 60000 ВОПРОС\n"
      "key 13\n"
      "waitfor 60000 Ответ: 1\n"
      "screen\n");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> screens = Screens(run.out);
  ASSERT_EQ(screens.size(), 4u) << run.out;
  EXPECT_NE(screens[0].find("Клавиша: 65\n"), std::string::npos) << screens[0];
  EXPECT_EQ(screens[1].substr(0, screens[1].find("status:")),
            "ВОПРОС\nПродолжить?\nДа или нет\n[ОТМЕНА]\n[ОК]\n");
  EXPECT_TRUE(screens[2].rfind("ДЕМО\n", 0) == 0) << screens[2];
  EXPECT_NE(screens[2].find("Ответ: -1\n"), std::string::npos) << screens[2];
  EXPECT_NE(screens[3].find("Ответ: 1\n"), std::string::npos) << screens[3];
}

TEST(ScriptRun, BadCommandsAreReportedOnStandardErrorAndSkipped) {
  const ChildRun run = RunDemo("# start\nfrobnicate\nkey 999\nkey 66\nscreen\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("unknown command: frobnicate"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("key 999"), std::string::npos) << run.err;
  ASSERT_EQ(Screens(run.out).size(), 1u);
  EXPECT_NE(run.out.find("Клавиша: 66\n"), std::string::npos) << run.out;
}

// About five idle events a second; a loop that spun instead of waiting would count
// thousands. (At least one: a busy machine may hold the program back for a while.)
TEST(ScriptRun, IdleEventsComeAtTheirCadenceDuringAWait) {
  const ChildRun run = RunDemo("wait 1000\nscreen\n");
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> screens = Screens(run.out);
  ASSERT_EQ(screens.size(), 1u) << run.out;
  const int idle = IdleCount(screens[0]);
  std::printf("idle events in a 1 s wait: %d (cadence 200 ms)\n", idle);
  EXPECT_GE(idle, 1);
  EXPECT_LE(idle, 12);
}

}  // namespace
