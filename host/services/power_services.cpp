// Power source, battery level and backlight from the Linux sysfs classes.
//
// Every file is read whole and small; a file that is missing, empty, unreadable
// or holds something unexpected makes its entry count as absent.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"

namespace {

constexpr const char* kPowerSupplyRoot = "/sys/class/power_supply";
constexpr const char* kBacklightRoot = "/sys/class/backlight";
constexpr int kMaxBrightnessLevel = 10;

// Reads up to 63 bytes of a regular file, without trailing white space. Kernel
// attributes are regular files: anything else (a FIFO, a device) placed in the class
// directory counts as absent, opened without waiting and never read.
bool ReadText(const std::string& path, std::string* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  char buf[64];
  ssize_t n;
  do {
    n = read(fd, buf, sizeof buf - 1);
  } while (n < 0 && errno == EINTR);
  close(fd);
  if (n <= 0) return false;
  std::string text(buf, static_cast<size_t>(n));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '\t' || text.back() == '\r')) {
    text.pop_back();
  }
  if (text.empty()) return false;
  *out = text;
  return true;
}

// A file holding one decimal integer (optionally negative) and nothing else.
bool ReadInt(const std::string& path, int64_t* out) {
  std::string text;
  if (!ReadText(path, &text)) return false;
  const char* begin = text.c_str();
  if (*begin != '-' && (*begin < '0' || *begin > '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(begin, &end, 10);
  if (errno != 0 || end == begin || *end != '\0') return false;
  *out = v;
  return true;
}

// Entry names under a class directory, in name order, without hidden ones.
std::vector<std::string> Entries(const std::string& root) {
  std::vector<std::string> names;
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool FlagIsOne(const std::string& path) {
  int64_t v = 0;
  return ReadInt(path, &v) && v == 1;
}

bool IsPresentBattery(const std::string& entry) {
  std::string type;
  if (!ReadText(entry + "/type", &type) || type != "Battery") return false;
  std::string present;
  if (!ReadText(entry + "/present", &present)) {
    // No present file: a battery that is always there. An unreadable or
    // garbled one counts as absent, like any other bad file.
    return access((entry + "/present").c_str(), F_OK) != 0;
  }
  return present == "1";
}

std::string RootFromEnv(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return (v != nullptr && v[0] != '\0') ? std::string(v) : std::string(fallback);
}

int LevelForCapacityLevel(const std::string& text) {
  if (text == "Full") return 6;
  if (text == "High") return 4;
  if (text == "Normal") return 3;
  if (text == "Low") return 1;
  return 0;  // Critical, Unknown, anything else
}

}  // namespace

namespace termsim {

int PowerSourceIn(const std::string& root) {
  bool usb = false;
  bool battery = false;
  for (const std::string& name : Entries(root)) {
    const std::string entry = root + "/" + name;
    std::string type;
    if (!ReadText(entry + "/type", &type)) continue;
    if (type == "Mains") {
      if (FlagIsOne(entry + "/online")) return 1;
    } else if (type.compare(0, 3, "USB") == 0) {
      usb = usb || FlagIsOne(entry + "/online");
    } else if (type == "Battery") {
      battery = battery || IsPresentBattery(entry);
    }
  }
  if (usb) return 2;
  return battery ? 3 : 0;
}

int LevelForCapacity(int percent) {
  if (percent < 10) return 0;
  if (percent < 30) return 1;
  if (percent < 55) return 2;
  if (percent < 80) return 3;
  if (percent < 95) return 4;
  return 6;
}

int BatteryLevelIn(const std::string& root) {
  for (const std::string& name : Entries(root)) {
    const std::string entry = root + "/" + name;
    if (!IsPresentBattery(entry)) continue;
    int64_t capacity = 0;
    if (ReadInt(entry + "/capacity", &capacity) && capacity >= 0 && capacity <= INT_MAX) {
      return LevelForCapacity(static_cast<int>(capacity));
    }
    std::string level;
    if (ReadText(entry + "/capacity_level", &level)) return LevelForCapacityLevel(level);
    return 0;
  }
  return 0;
}

int SetBacklightIn(const std::string& root, int level) {
  level = std::min(std::max(level, 0), kMaxBrightnessLevel);
  for (const std::string& name : Entries(root)) {
    const std::string entry = root + "/" + name;
    int64_t maxBrightness = 0;
    if (!ReadInt(entry + "/max_brightness", &maxBrightness) || maxBrightness <= 0 ||
        maxBrightness > INT_MAX / kMaxBrightnessLevel) {
      continue;
    }
    const int fd = open((entry + "/brightness").c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) continue;
    const int64_t value = maxBrightness * level / kMaxBrightnessLevel;
    const std::string text = std::to_string(value) + "\n";
    ssize_t n;
    do {
      n = write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    close(fd);
    if (n == static_cast<ssize_t>(text.size())) return 0;
  }
  return -ENODEV;
}

}  // namespace termsim

int OsCheckPowerSupply() {
  return termsim::PowerSourceIn(RootFromEnv("TERMSIM_POWER_SUPPLY_DIR", kPowerSupplyRoot));
}

int OsCheckBattery() {
  return termsim::BatteryLevelIn(RootFromEnv("TERMSIM_POWER_SUPPLY_DIR", kPowerSupplyRoot));
}

int OsScrBrightness(int level) {
  // The program asks for the same level on every screen refresh; only a change is
  // written, so the backlight is not rescanned five times a second and the user can
  // still dim the screen in between. Without a writable backlight (most PCs) the call
  // has no effect.
  static std::atomic<int> lastLevel{-1};
  if (lastLevel.exchange(level) == level) return 0;
  termsim::SetBacklightIn(RootFromEnv("TERMSIM_BACKLIGHT_DIR", kBacklightRoot), level);
  return 0;
}
