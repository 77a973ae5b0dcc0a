// The host property store: one file per key, atomic replacement, safe keys.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "tests/host_services/test_support.h"

namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

class PropertyStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(root_.path().empty()); }

  std::string Get(const char* key, int* result = nullptr) {
    char value[OS_REG_VALUE_SIZE];
    std::memset(value, 'x', sizeof value);
    const int r = OsRegGetValue(key, value);
    if (result != nullptr) *result = r;
    EXPECT_NE(std::memchr(value, '\0', sizeof value), nullptr) << "value not terminated";
    return std::string(value, strnlen(value, sizeof value));
  }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
    return names;
  }

  test::TempDir root_;
  std::string dir_ = root_ / "state/props";  // does not exist before the first write
  test::ScopedEnv env_{"TERMSIM_PROPS", dir_.c_str()};
};

TEST_F(PropertyStore, ReadsAMissingKeyAsEmpty) {
  int r = -1;
  EXPECT_EQ(Get("ro.fac.mach", &r), "");
  EXPECT_EQ(r, 0);
  EXPECT_FALSE(fs::exists(dir_)) << "a read must not create the store";
}

TEST_F(PropertyStore, CreatesItsDirectoryAndReadsBackWhatWasStored) {
  EXPECT_EQ(OsRegSetValue("persist.sys.xcb.enable", "1"), 0);
  EXPECT_TRUE(fs::is_directory(dir_));
  EXPECT_EQ(ReadFile(dir_ + "/persist.sys.xcb.enable"), "1");
  EXPECT_EQ(Get("persist.sys.xcb.enable"), "1");
  EXPECT_EQ(OsRegSetValue("empty", ""), 0);
  EXPECT_EQ(Get("empty"), "");
}

TEST_F(PropertyStore, OverwritesALongerValueWithAShorterOne) {
  ASSERT_EQ(OsRegSetValue("k", "a long first value"), 0);
  ASSERT_EQ(OsRegSetValue("k", "0"), 0);
  EXPECT_EQ(Get("k"), "0");
}

TEST_F(PropertyStore, TruncatesValuesToSixtyThreeBytes) {
  const std::string longValue(100, 'v');
  ASSERT_EQ(OsRegSetValue("long", longValue.c_str()), 0);
  char value[OS_REG_VALUE_SIZE + 8];
  std::memset(value, '#', sizeof value);
  ASSERT_EQ(OsRegGetValue("long", value), 0);
  EXPECT_EQ(std::string(value), std::string(63, 'v'));
  for (size_t i = OS_REG_VALUE_SIZE; i < sizeof value; ++i) {
    EXPECT_EQ(value[i], '#') << "wrote past the 64-byte buffer at " << i;
  }
  // A hand-made file longer than a value is cut the same way.
  WriteFile(dir_ + "/seeded", std::string(200, 's') + "\n");
  EXPECT_EQ(Get("seeded"), std::string(63, 's'));
}

TEST_F(PropertyStore, IgnoresTheTrailingNewlineOfAHandSeededFile) {
  WriteFile(dir_ + "/ro.fac.mach", "MODEL7\n");
  EXPECT_EQ(Get("ro.fac.mach"), "MODEL7");
  WriteFile(dir_ + "/full", std::string(63, 'f') + "\n");
  EXPECT_EQ(Get("full"), std::string(63, 'f'));
  WriteFile(dir_ + "/inner", "two\nlines\n");
  EXPECT_EQ(Get("inner"), "two\nlines");
}

TEST_F(PropertyStore, LeavesNoTemporaryFileBehind) {
  for (int i = 0; i < 20; ++i) {
    ASSERT_EQ(OsRegSetValue("a", std::to_string(i).c_str()), 0);
    ASSERT_EQ(OsRegSetValue("b", "x"), 0);
  }
  EXPECT_EQ(Files(), (std::set<std::string>{"a", "b"}));
  EXPECT_EQ(Get("a"), "19");
  struct stat st {};
  ASSERT_EQ(stat((dir_ + "/a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(PropertyStore, RefusesKeysThatLeaveTheStore) {
  ASSERT_EQ(OsRegSetValue("ok", "1"), 0);
  for (const char* key : {"", ".", "..", "a/b", "../escape", "/etc/passwd", ".hidden"}) {
    EXPECT_LT(OsRegSetValue(key, "v"), 0) << key;
    int r = 0;
    EXPECT_EQ(Get(key, &r), "") << key;
    EXPECT_LT(r, 0) << key;
  }
  EXPECT_LT(OsRegSetValue(nullptr, "v"), 0);
  EXPECT_LT(OsRegSetValue("ok", nullptr), 0);
  EXPECT_LT(OsRegGetValue("ok", nullptr), 0);
  EXPECT_LT(OsRegSetValue(std::string(300, 'k').c_str(), "v"), 0);
  EXPECT_FALSE(fs::exists(root_ / "state/escape"));
  EXPECT_EQ(Files(), (std::set<std::string>{"ok"}));
}

TEST_F(PropertyStore, ReportsFailuresWithoutCrashing) {
  fs::create_directories(dir_ + "/adir");
  int r = 0;
  EXPECT_EQ(Get("adir", &r), "");
  EXPECT_LT(r, 0) << "a key naming a directory is not a value";
  EXPECT_LT(OsRegSetValue("adir", "1"), 0);

  test::ScopedEnv overFile("TERMSIM_PROPS", (root_ / "plainfile").c_str());
  WriteFile(root_ / "plainfile", "not a directory");
  EXPECT_LT(OsRegSetValue("k", "1"), 0);
  EXPECT_EQ(ReadFile(root_ / "plainfile"), "not a directory");
  EXPECT_EQ(Get("k", &r), "");
  EXPECT_LT(r, 0) << "a store that cannot be read is not an empty one";
}

TEST(PropertyStoreLocation, DefaultsToTheUsersStateDirectory) {
  test::ScopedEnv props("TERMSIM_PROPS", nullptr);
  {
    test::ScopedEnv xdg("XDG_STATE_HOME", "/xdg/state");
    EXPECT_EQ(termsim::PropertiesDir(), "/xdg/state/termsim/props");
  }
  test::ScopedEnv xdg("XDG_STATE_HOME", nullptr);
  test::ScopedEnv home("HOME", "/home/op");
  EXPECT_EQ(termsim::PropertiesDir(), "/home/op/.local/state/termsim/props");
  test::ScopedEnv set("TERMSIM_PROPS", "/var/lib/props");
  EXPECT_EQ(termsim::PropertiesDir(), "/var/lib/props");
}

}  // namespace
