// The battery bench: the simulated cell, its scenario, and the power-supply files it
// keeps, read back the way the host services and the monitor read a kernel's.
#include "host/power_sim/battery_bench.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/services/linux_services.h"
#include "tests/host_services/test_support.h"

namespace {

using termsim::BatteryBench;
using termsim::BenchEvent;
using termsim::SimBattery;

constexpr uint64_t kMinute = 60000;
constexpr uint64_t kHour = 60 * kMinute;

TEST(SimBattery, DischargesInAboutTenHoursWithoutTheVoltageEverRising) {
  SimBattery battery;
  EXPECT_EQ(battery.Read().status, std::string("Discharging"));
  int64_t previous = battery.Read().voltageNowUv;
  EXPECT_LE(previous, SimBattery::kVoltageMaxUv);
  EXPECT_GT(previous, SimBattery::kVoltageMaxUv - 50000) << "a full cell under its load";
  uint64_t minutes = 0;
  while (battery.Read().voltageNowUv > SimBattery::kVoltageMinUv && minutes < 24 * 60) {
    battery.Step(kMinute);
    ++minutes;
    ASSERT_LE(battery.Read().voltageNowUv, previous) << "after " << minutes << " min";
    previous = battery.Read().voltageNowUv;
  }
  EXPECT_GE(minutes, 9 * 60u);
  EXPECT_LE(minutes, 10 * 60u + 1);
  for (int i = 0; i < 120; ++i) battery.Step(kMinute);  // empty stays at its minimum
  EXPECT_EQ(battery.Read().voltageNowUv, SimBattery::kVoltageMinUv);
  EXPECT_EQ(battery.Read().capacityPercent, 0);
}

TEST(SimBattery, ChargesOnMainsUntilFull) {
  SimBattery battery(20, true);
  const termsim::SimBatteryReading charging = battery.Read();
  EXPECT_EQ(charging.status, std::string("Charging"));
  EXPECT_GT(charging.voltageNowUv, SimBattery::OpenCircuitUv(20)) << "the charge current lifts it";
  for (int i = 0; i < 6 * 60; ++i) battery.Step(kMinute);
  const termsim::SimBatteryReading full = battery.Read();
  EXPECT_EQ(full.status, std::string("Full"));
  EXPECT_EQ(full.capacityPercent, 100);
  EXPECT_EQ(full.voltageNowUv, SimBattery::kVoltageMaxUv);
}

TEST(Scenario, EventsComeInTimeOrderAndBadLinesAreNamed) {
  std::vector<BenchEvent> events;
  std::string error;
  ASSERT_TRUE(termsim::ParseScenario(
      "# demo\nat 6h30m plug\n\nat 2h unplug\nat 0 charge 50%\nat 7h charge 100%\n", &events,
      &error))
      << error;
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].atMs, 0u);
  EXPECT_EQ(events[0].kind, BenchEvent::kCharge);
  EXPECT_EQ(events[0].percent, 50);
  EXPECT_EQ(events[1].atMs, 2 * kHour);
  EXPECT_EQ(events[1].kind, BenchEvent::kUnplug);
  EXPECT_EQ(events[2].atMs, 6 * kHour + 30 * kMinute);
  EXPECT_EQ(events[3].kind, BenchEvent::kCharge);
  EXPECT_EQ(events[3].percent, 100) << "a full cell";
  for (const char* bad : {"at 2h\n", "at 2x unplug\n", "at h unplug\n", "at 1h charge 101%\n",
                          "at 1h plug now\n", "after 2h plug\n", "at 1h charge 5\n"}) {
    error.clear();
    EXPECT_FALSE(termsim::ParseScenario(std::string("at 0 plug\n") + bad, &events, &error)) << bad;
    EXPECT_EQ(error.rfind("2: expected", 0), 0u) << bad << " gave: " << error;
  }
}

// Times too long to mean anything are refused, not wrapped round to fire at once.
TEST(Scenario, RefusesTimesBeyondAHundredThousandHours) {
  std::vector<BenchEvent> events;
  std::string error;
  EXPECT_TRUE(termsim::ParseScenario("at 100000h plug\n", &events, &error)) << error;
  std::string wraps = "at ";
  for (int i = 0; i < 600000; i++) wraps += "9999999h";  // past 2^64 ms
  for (const std::string& line : {std::string("at 100000h1s plug\n"), wraps + " plug\n"}) {
    EXPECT_FALSE(termsim::ParseScenario(line, &events, &error)) << line.substr(0, 40);
  }
}

// Only a regular file is a scenario: a directory is not an empty one, and a FIFO or a
// device is refused without waiting or reading without end.
TEST(Scenario, AFileThatIsNoRegularFileIsRefused) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.path(), dir / "fifo", std::string("/dev/zero")}) {
    std::vector<BenchEvent> events;
    std::string error;
    EXPECT_FALSE(termsim::ReadScenarioFile(path, &events, &error)) << path;
    EXPECT_EQ(error, "not a regular file") << path;
  }
  test::WriteFile(dir / "good", "at 1h plug\n");
  std::vector<BenchEvent> events;
  std::string error;
  EXPECT_TRUE(termsim::ReadScenarioFile(dir / "good", &events, &error)) << error;
  EXPECT_EQ(events.size(), 1u);
}

// The files read back as the host services read a kernel's: the source, the level, the
// voltages; and the scenario's events take effect at their times, not a step later.
TEST(BatteryBench, KeepsKernelFilesThatFollowTheScenario) {
  test::TempDir dir;
  std::vector<BenchEvent> events;
  std::string error;
  ASSERT_TRUE(termsim::ParseScenario("at 0 charge 60%\nat 1h plug\n", &events, &error));
  BatteryBench bench(dir.path(), events, 5000);
  bench.Advance(5000);
  ASSERT_TRUE(bench.WriteFiles());
  EXPECT_EQ(termsim::PowerSourceIn(dir.path()), 3) << "on battery";
  EXPECT_EQ(test::ReadFile(dir / "battery/voltage_max"), "4200000\n");
  EXPECT_EQ(test::ReadFile(dir / "battery/voltage_min"), "3400000\n");
  EXPECT_EQ(test::ReadFile(dir / "battery/capacity"), "60\n");
  const std::string before = test::ReadFile(dir / "battery/voltage_now");
  bench.Advance(5000 + kHour + 30 * kMinute);  // an hour on battery, half an hour charging
  ASSERT_TRUE(bench.WriteFiles());
  EXPECT_EQ(termsim::PowerSourceIn(dir.path()), 1) << "mains online";
  EXPECT_EQ(test::ReadFile(dir / "battery/status"), "Charging\n");
  EXPECT_EQ(test::ReadFile(dir / "battery/capacity"), "75\n")
      << "60 % - 10 % on battery + 25 % charged at 0.5 C";
  bench.ToggleMains();
  ASSERT_TRUE(bench.WriteFiles());
  EXPECT_EQ(termsim::PowerSourceIn(dir.path()), 3);
  EXPECT_NE(test::ReadFile(dir / "battery/voltage_now"), before);
}

// Each file is replaced whole, never rewritten in place: a reader that opened the
// voltage before an update reads the old value whole, one that opens after reads the new.
TEST(BatteryBench, ReplacesEachFileWholeForItsReaders) {
  test::TempDir dir;
  BatteryBench bench(dir.path(), {}, 0);
  ASSERT_TRUE(bench.WriteFiles());
  const std::string path = dir / "battery/voltage_now";
  const std::string before = test::ReadFile(path);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  bench.Advance(2 * kHour);
  ASSERT_TRUE(bench.WriteFiles());
  char text[32] = {};
  const ssize_t got = pread(fd, text, sizeof text - 1, 0);
  close(fd);
  EXPECT_EQ(std::string(text, got > 0 ? static_cast<size_t>(got) : 0), before);
  const std::string after = test::ReadFile(path);
  EXPECT_NE(after, before);
  EXPECT_EQ(after.back(), '\n');
}

// The directory may be one that others can write to: a link planted at a temporary name
// is removed, not written through, and a class directory that is a link is refused.
TEST(BatteryBench, WritesThroughNoLink) {
  test::TempDir dir, elsewhere;
  const std::string victim = elsewhere / "victim";
  test::WriteFile(victim, "keep");
  ASSERT_EQ(mkdir((dir / "battery").c_str(), 0755), 0);
  ASSERT_EQ(symlink(victim.c_str(), (dir / "battery/voltage_now.new").c_str()), 0);
  BatteryBench bench(dir.path(), {}, 0);
  ASSERT_TRUE(bench.WriteFiles());
  EXPECT_EQ(test::ReadFile(victim), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "battery/voltage_now"));
  EXPECT_NE(test::ReadFile(dir / "battery/voltage_now"), "keep");

  test::TempDir other;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), (other / "Mains").c_str()), 0);
  BatteryBench linked(other.path(), {}, 0);
  EXPECT_FALSE(linked.WriteFiles());
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "online"));
  EXPECT_FALSE(std::filesystem::exists(elsewhere / "online.new"));
}

}  // namespace
