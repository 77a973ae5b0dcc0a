// The battery monitor's passes over made-up kernel files and fake power calls.
#include "battery/battery_monitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tests/fakes/fake_terminal_services.h"
#include "tests/support/file_time.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int POWER_MAINS = 1;
constexpr int POWER_USB = 2;
constexpr int POWER_BATTERY = 3;

class BatteryMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    ResetBatteryState();
    char pattern[] = "/tmp/battery-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    BatteryFilesDir = dir_.c_str();
  }
  void TearDown() override {
    for (const char* name : {"voltage_max", "voltage_min", "voltage_now"}) unlink(Path(name).c_str());
    rmdir(dir_.c_str());
  }

  std::string Path(const char* name) const { return dir_ + "/" + name; }
  void Write(const char* name, const std::string& text) {
    FILE* f = std::fopen(Path(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  // A battery spanning min..max; the monitor thread's start reads the two limits.
  void Battery(int min, int max) {
    Write("voltage_min", std::to_string(min) + "\n");
    Write("voltage_max", std::to_string(max) + "\n");
    BatteryMonitorBegin();
  }
  // One pass on battery with the kernel reporting voltage v.
  StatusWord OnBattery(int v) {
    Write("voltage_now", std::to_string(v) + "\n");
    test::SetPowerSupply(POWER_BATTERY);
    BatteryMonitorPass();
    return BatteryState.status.load();
  }
  // One pass on external power with the platform reporting level.
  StatusWord OnExternal(int level, int source = POWER_MAINS) {
    test::SetPowerSupply(source);
    test::SetBatteryLevel(level);
    BatteryMonitorPass();
    return BatteryState.status.load();
  }

  std::string dir_;
};

TEST(DisplayCurve, GivesTheTellingValues) {
  const int cases[][2] = {{0, 0},   {9, 0},   {10, 1},  {49, 4},  {50, 5},   {51, 8},   {64, 48},
                          {65, 52}, {80, 77}, {92, 98}, {93, 100}, {94, 100}, {100, 100}};
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayCurve(static_cast<uint16_t>(c[0])), c[1]) << "p = " << c[0];
  }
}

TEST(DisplayCurve, NeverFallsAsThePercentageRises) {
  uint16_t previous = 0;
  for (uint16_t p = 0; p <= 100; p++) {
    EXPECT_GE(DisplayCurve(p), previous) << "p = " << p;
    previous = DisplayCurve(p);
  }
}

TEST_F(BatteryMonitorTest, StatusIs100WithNoFlagsBeforeTheFirstPass) {
  EXPECT_EQ(BatteryState.status.load(), 100);
}

TEST_F(BatteryMonitorTest, ExternalLevelsShowThroughTheCurve) {
  const int cases[][2] = {{0, 3}, {1, 4}, {2, 48}, {3, 77}, {4, 98}, {6, 100}};
  for (const auto& c : cases) {
    EXPECT_EQ(OnExternal(c[0]), BAT_EXTERNAL | c[1]) << "level " << c[0];
  }
}

TEST_F(BatteryMonitorTest, UsbPowerCountsAsExternal) {
  EXPECT_EQ(OnExternal(3, POWER_USB), BAT_EXTERNAL | 77);
}

TEST_F(BatteryMonitorTest, ExternalLevelWithoutMeaningShowsZero) {
  EXPECT_EQ(OnExternal(5), BAT_EXTERNAL | 0);
  EXPECT_EQ(OnExternal(-1), BAT_EXTERNAL | 0);
}

TEST_F(BatteryMonitorTest, LowIsNeverSetOnExternalPower) {
  EXPECT_EQ(OnExternal(0) & BAT_LOW, 0);  // 32 %
  EXPECT_EQ(OnExternal(5) & BAT_LOW, 0);  // 0 %
}

TEST_F(BatteryMonitorTest, BatteryReadingGivesLinearPercentAndCurve) {
  Battery(340, 420);
  EXPECT_EQ(OnBattery(380), 5);
  EXPECT_EQ(BatteryState.linearPercent.load(), 50);
  EXPECT_EQ(BatteryState.filteredPercent.load(), 50);
  EXPECT_EQ(BatteryState.voltageNow.load(), 380);
}

// A clock past 2038, or one set wrong, stamps the kernel's files so: they read as any others.
TEST_F(BatteryMonitorTest, KernelFilesStampedAfter2038AreStillRead) {
  Write("voltage_min", "340\n");
  Write("voltage_max", "420\n");
  Write("voltage_now", "380\n");
  for (const char* name : {"voltage_max", "voltage_min", "voltage_now"}) {
    ASSERT_TRUE(test::StampAfter2038(Path(name))) << name;
  }
  BatteryMonitorBegin();
  test::SetPowerSupply(POWER_BATTERY);
  BatteryMonitorPass();
  EXPECT_EQ(BatteryState.voltageNow.load(), 380);
  EXPECT_EQ(BatteryState.linearPercent.load(), 50);
}

TEST_F(BatteryMonitorTest, PercentageCannotRiseWhileOnBattery) {
  Battery(340, 420);
  OnBattery(380);
  EXPECT_EQ(OnBattery(390), 5);
  EXPECT_EQ(BatteryState.linearPercent.load(), 62);
  EXPECT_EQ(BatteryState.filteredPercent.load(), 50);
}

TEST_F(BatteryMonitorTest, FirstBatteryPassAfterExternalPowerIsNotClamped) {
  Battery(340, 420);
  OnBattery(360);  // 25 %
  OnExternal(0);   // 32 %, lower than what follows: only the forgotten battery pass lets it rise
  EXPECT_EQ(OnBattery(400), DisplayCurve(75));
  EXPECT_EQ(BatteryState.filteredPercent.load(), 75);
}

TEST_F(BatteryMonitorTest, FortyPercentOnBatteryIsLow) {
  Battery(300, 400);
  EXPECT_EQ(OnBattery(340), BAT_LOW | DisplayCurve(40));
  OnExternal(6);
  EXPECT_EQ(OnBattery(341) & BAT_LOW, 0);  // 41 %
}

TEST_F(BatteryMonitorTest, OutOfRangeReadingPinsLaterReadingsToZeroUntilExternalPower) {
  Battery(340, 420);
  EXPECT_EQ(OnBattery(430), 0);
  EXPECT_EQ(BatteryState.lastLevel.load(), 0);
  EXPECT_EQ(OnBattery(380), BAT_LOW);
  EXPECT_EQ(BatteryState.linearPercent.load(), 50);
  EXPECT_EQ(OnBattery(330), 0);
  OnExternal(6);
  EXPECT_EQ(OnBattery(380), 5);
}

TEST_F(BatteryMonitorTest, MissingVoltageFileGivesZeroAndKeepsTheLastVoltage) {
  Battery(340, 420);
  OnBattery(380);
  unlink(Path("voltage_now").c_str());
  test::SetPowerSupply(POWER_BATTERY);
  BatteryMonitorPass();
  EXPECT_EQ(BatteryState.status.load(), 0);
  EXPECT_EQ(BatteryState.voltageNow.load(), 380);
  EXPECT_EQ(BatteryState.lastLevel.load(), 0);
}

TEST_F(BatteryMonitorTest, MissingLimitFilesLeaveNoUsableReading) {
  BatteryMonitorBegin();
  EXPECT_EQ(OnBattery(3800000), 0);
  EXPECT_EQ(BatteryState.voltageNow.load(), 3800000);
  EXPECT_EQ(BatteryState.voltageMax.load(), 0);
}

TEST_F(BatteryMonitorTest, EqualLimitsCountAReadingAtThemAsFull) {
  Battery(400, 400);
  EXPECT_EQ(OnBattery(400), 100);
  EXPECT_EQ(BatteryState.linearPercent.load(), 100);
}

TEST_F(BatteryMonitorTest, WideMicrovoltSpansDoNotOverflow) {
  Battery(0, 2000000000);
  EXPECT_EQ(OnBattery(1000000000), 5);  // 50 %
  EXPECT_EQ(BatteryState.linearPercent.load(), 50);
}

TEST_F(BatteryMonitorTest, UnknownPowerSourceGivesZeroAndKeepsTheFilter) {
  Battery(340, 420);
  OnBattery(380);
  test::SetPowerSupply(0);
  BatteryMonitorPass();
  EXPECT_EQ(BatteryState.status.load(), 0);
  EXPECT_TRUE(BatteryState.onBatteryBefore.load());
}

TEST_F(BatteryMonitorTest, KernelValuesConvertAsAtoiDoes) {
  const std::pair<const char*, int32_t> cases[] = {
      {"3800000\n", 3800000}, {"  -12x\n", -12}, {"+7", 7},
      {"abc\n", 0},           {"\n", 0},         {"99999999999999\n", INT32_MAX},
      {"-99999999999999", INT32_MIN}};
  for (const auto& c : cases) {
    Write("voltage_now", c.first);
    int32_t value = 1;
    EXPECT_TRUE(ReadKernelValue(Path("voltage_now").c_str(), &value)) << c.first;
    EXPECT_EQ(value, c.second) << c.first;
  }
}

// Fills the stack below its caller with digits: the frame of the caller's next call lies
// there, so a value read without its terminator would run on into them.
__attribute__((noinline)) void ScribbleDigitsOnTheStack() {
  volatile char junk[4096];
  for (size_t i = 0; i < sizeof junk; i++) junk[i] = '7';
}

TEST_F(BatteryMonitorTest, KernelValueReadsOnlyFourteenCharacters) {
  Write("voltage_now", "0000000000000123");  // the 15th and 16th characters are not read
  const std::string path = Path("voltage_now");
  int32_t value = 0;
  ScribbleDigitsOnTheStack();
  ReadKernelValue(path.c_str(), &value);
  EXPECT_EQ(value, 1);
}

TEST_F(BatteryMonitorTest, EmptyOrMissingKernelFileLeavesTheValue) {
  Write("voltage_now", "");
  int32_t value = 42;
  EXPECT_FALSE(ReadKernelValue(Path("voltage_now").c_str(), &value));
  EXPECT_FALSE(ReadKernelValue(Path("absent").c_str(), &value));
  EXPECT_EQ(value, 42);
}

// Kernel attributes are regular files: a FIFO at the path is not read, even with a value
// in it, since once empty (or without a writer) it would block the sampling for ever.
TEST_F(BatteryMonitorTest, AKernelPathThatIsNoRegularFileIsNotRead) {
  const std::string fifo = Path("voltage_now");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "3800000\n", 8), 8);
  int32_t value = 42;
  EXPECT_FALSE(ReadKernelValue(fifo.c_str(), &value));
  EXPECT_EQ(value, 42);
  close(writer);
}

// Two passes a second: a pass, then ten waits of 50 ms. Only the monitor moves the
// virtual clock here, so each pass after the first stands for 500 ms of it, however
// the threads are scheduled.
TEST_F(BatteryMonitorTest, MonitorSamplesTwiceASecond) {
  test::SetPowerSupply(POWER_MAINS);
  StartBatteryMonitor(nullptr);
  ASSERT_TRUE(test::WaitUntil([] { return test::PowerSupplyChecks() >= 5; }))
      << "the monitor made too few passes";
  StopBatteryMonitor();
  EXPECT_EQ(test::Ticks() % 50, 0u) << "waits of 50 ms";
  EXPECT_EQ(test::Ticks() / 500, static_cast<uint32_t>(test::PowerSupplyChecks() - 1));
}

TEST_F(BatteryMonitorTest, MonitorThreadStartsAndStopsRepeatedly) {
  test::SetPowerSupply(POWER_MAINS);
  test::SetBatteryLevel(2);
  for (int round = 0; round < 20; round++) {
    ResetBatteryState();
    StartBatteryMonitor(nullptr);
    ASSERT_TRUE(test::WaitUntil([] { return BatteryState.status.load() != 100; }))
        << "round " << round << ": the monitor made no pass";
    StopBatteryMonitor();
    EXPECT_EQ(BatteryState.status.load(), BAT_EXTERNAL | 48);
  }
  StopBatteryMonitor();  // no monitor runs: returns at once
}

}  // namespace
