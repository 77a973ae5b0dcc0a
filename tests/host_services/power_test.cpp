// Power source, battery level and backlight read from made-up sysfs trees.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "tests/host_services/test_support.h"

namespace {

using test::ReadFile;
using test::WriteFile;

class PowerSupplyTree : public ::testing::Test {
 protected:
  void Supply(const std::string& name, const std::string& type, const char* online,
              const char* present = nullptr) {
    WriteFile(root_ / name + "/type", type + "\n");
    if (online != nullptr) WriteFile(root_ / name + "/online", online);
    if (present != nullptr) WriteFile(root_ / name + "/present", present);
  }
  int Source() const { return termsim::PowerSourceIn(root_.path()); }
  int Level() const { return termsim::BatteryLevelIn(root_.path()); }

  test::TempDir root_;
};

TEST_F(PowerSupplyTree, MainsOnlineIsMainsWhateverElseIsThere) {
  Supply("battery", "Battery", nullptr, "1\n");
  Supply("usb", "USB", "1\n");
  Supply("ac", "Mains", "1\n");
  EXPECT_EQ(Source(), 1);
}

TEST_F(PowerSupplyTree, UsbOnlineIsUsbWhenMainsIsOffline) {
  Supply("ac", "Mains", "0\n");
  Supply("usb", "USB", "1\n");
  Supply("battery", "Battery", nullptr, "1\n");
  EXPECT_EQ(Source(), 2);
  Supply("usb", "USB", "0\n");
  Supply("usb-c", "USB_C", "1\n");
  EXPECT_EQ(Source(), 2);
}

TEST_F(PowerSupplyTree, ABatteryAloneIsBatteryPower) {
  Supply("ac", "Mains", "0\n");
  Supply("BAT0", "Battery", nullptr, "1\n");
  EXPECT_EQ(Source(), 3);
}

TEST_F(PowerSupplyTree, ABatteryWithoutAPresentFileCountsAsPresent) {
  Supply("battery", "Battery", nullptr);
  EXPECT_EQ(Source(), 3);
}

TEST_F(PowerSupplyTree, NothingKnownIsNoInformation) {
  EXPECT_EQ(Source(), 0);
  Supply("ac", "Mains", "0\n");
  Supply("BAT0", "Battery", nullptr, "0\n");
  Supply("odd", "Wireless", "1\n");
  EXPECT_EQ(Source(), 0);
  EXPECT_EQ(termsim::PowerSourceIn(root_ / "missing"), 0);
}

TEST_F(PowerSupplyTree, GarbageFilesCountAsAbsent) {
  Supply("ac", "Mains", "yes\n");
  Supply("usb", "USB", "");
  Supply("usb2", "USB", "1junk");
  Supply("battery", "Battery", nullptr, "\x01\x02\xff");
  WriteFile(root_ / "empty/type", "");
  std::filesystem::create_directories(root_ / "dirs/type");
  std::filesystem::create_directories(root_ / "dirs/online");
  WriteFile(root_ / "stray-file", "Mains");
  // A FIFO with a writer and "1" in it: read, it would block a reader once empty.
  WriteFile(root_ / "fifo/type", "Mains\n");
  const std::string fifo = root_ / "fifo/online";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "1\n", 2), 2);
  EXPECT_EQ(Source(), 0);
  EXPECT_EQ(Level(), 0);
  close(writer);
}

TEST(BatteryLevels, SplitTheCapacityAtTheThresholds) {
  const struct {
    int percent;
    int level;
  } cases[] = {{-1, 0}, {0, 0},  {9, 0},  {10, 1}, {29, 1}, {30, 2}, {54, 2},
               {55, 3}, {79, 3}, {80, 4}, {94, 4}, {95, 6}, {100, 6}, {150, 6}};
  for (const auto& c : cases) {
    EXPECT_EQ(termsim::LevelForCapacity(c.percent), c.level) << c.percent << " %";
  }
}

TEST_F(PowerSupplyTree, BatteryLevelComesFromThePresentBatterysCapacity) {
  Supply("ac", "Mains", "1\n");
  EXPECT_EQ(Level(), 0) << "no battery";
  Supply("BAT0", "Battery", nullptr, "0\n");
  WriteFile(root_ / "BAT0/capacity", "100\n");
  Supply("BAT1", "Battery", nullptr, "1\n");
  WriteFile(root_ / "BAT1/capacity", "85\n");
  EXPECT_EQ(Level(), 4) << "the absent BAT0 is skipped";
  WriteFile(root_ / "BAT1/capacity", "95\n");
  EXPECT_EQ(Level(), 6);
  WriteFile(root_ / "BAT1/capacity", "7\n");
  EXPECT_EQ(Level(), 0);
}

TEST_F(PowerSupplyTree, BatteryLevelFallsBackOnTheCapacityLevel) {
  Supply("battery", "Battery", nullptr, "1\n");
  WriteFile(root_ / "battery/capacity", "lots\n");
  WriteFile(root_ / "battery/capacity_level", "Full\n");
  EXPECT_EQ(Level(), 6);
  WriteFile(root_ / "battery/capacity", "-5\n");
  WriteFile(root_ / "battery/capacity_level", "Low\n");
  EXPECT_EQ(Level(), 1);
  std::filesystem::remove(root_ / "battery/capacity_level");
  EXPECT_EQ(Level(), 0);
}

TEST_F(PowerSupplyTree, TheServicesReadTheTreeNamedInTheEnvironment) {
  Supply("usb", "USB", "1\n");
  Supply("battery", "Battery", nullptr, "1\n");
  WriteFile(root_ / "battery/capacity", "60\n");
  test::ScopedEnv env("TERMSIM_POWER_SUPPLY_DIR", root_.path().c_str());
  EXPECT_EQ(OsCheckPowerSupply(), 2);
  EXPECT_EQ(OsCheckBattery(), 3);
}

class BacklightTree : public ::testing::Test {
 protected:
  test::TempDir root_;
};

TEST_F(BacklightTree, ScalesTheLevelToTheMaximumBrightness) {
  WriteFile(root_ / "intel_backlight/max_brightness", "255\n");
  WriteFile(root_ / "intel_backlight/brightness", "10\n");
  EXPECT_EQ(termsim::SetBacklightIn(root_.path(), 8), 0);
  EXPECT_EQ(ReadFile(root_ / "intel_backlight/brightness"), "204\n");
  EXPECT_EQ(termsim::SetBacklightIn(root_.path(), 99), 0);
  EXPECT_EQ(ReadFile(root_ / "intel_backlight/brightness"), "255\n");
  EXPECT_EQ(termsim::SetBacklightIn(root_.path(), -3), 0);
  EXPECT_EQ(ReadFile(root_ / "intel_backlight/brightness"), "0\n");
}

TEST_F(BacklightTree, SkipsBacklightsItCannotUse) {
  WriteFile(root_ / "a_broken/max_brightness", "none\n");
  WriteFile(root_ / "a_broken/brightness", "1\n");
  WriteFile(root_ / "b_good/max_brightness", "1000\n");
  WriteFile(root_ / "b_good/brightness", "1\n");
  EXPECT_EQ(termsim::SetBacklightIn(root_.path(), 5), 0);
  EXPECT_EQ(ReadFile(root_ / "a_broken/brightness"), "1\n");
  EXPECT_EQ(ReadFile(root_ / "b_good/brightness"), "500\n");
}

TEST_F(BacklightTree, WithoutABacklightTheBrightnessCallChangesNothing) {
  EXPECT_LT(termsim::SetBacklightIn(root_.path(), 8), 0);
  test::ScopedEnv env("TERMSIM_BACKLIGHT_DIR", root_.path().c_str());
  EXPECT_EQ(OsScrBrightness(8), 0);
  WriteFile(root_ / "panel/max_brightness", "10\n");
  WriteFile(root_ / "panel/brightness", "1\n");
  EXPECT_EQ(OsScrBrightness(7), 0);
  EXPECT_EQ(ReadFile(root_ / "panel/brightness"), "7\n");
  EXPECT_EQ(OsSysSleepEx(0), 0);
}

TEST_F(BacklightTree, TheSameLevelAgainLeavesTheUsersBrightnessAlone) {
  WriteFile(root_ / "panel/max_brightness", "10\n");
  WriteFile(root_ / "panel/brightness", "1\n");
  test::ScopedEnv env("TERMSIM_BACKLIGHT_DIR", root_.path().c_str());
  EXPECT_EQ(OsScrBrightness(6), 0);
  EXPECT_EQ(ReadFile(root_ / "panel/brightness"), "6\n");
  WriteFile(root_ / "panel/brightness", "3\n");  // the user dims the screen
  EXPECT_EQ(OsScrBrightness(6), 0);
  EXPECT_EQ(ReadFile(root_ / "panel/brightness"), "3\n");
}

}  // namespace
