#include "host/power_sim/scenario.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

namespace termsim {
namespace {

constexpr uint64_t kMaxTimeMs = 100000ull * 3600000;  // 100000 hours, about 11 years
constexpr size_t kMaxScenarioBytes = 1 << 20;         // far more than a scenario needs

// "2h", "30m", "1h30m", "45s", "0": milliseconds, or false; at most kMaxTimeMs.
bool ParseTime(const std::string& text, uint64_t* ms) {
  if (text == "0") {
    *ms = 0;
    return true;
  }
  uint64_t total = 0;
  size_t i = 0;
  if (text.empty()) return false;
  while (i < text.size()) {
    uint64_t value = 0;
    size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++digits > 7) return false;
      value = value * 10 + static_cast<uint64_t>(text[i++] - '0');
    }
    if (digits == 0 || i == text.size()) return false;
    switch (text[i++]) {
      case 'h': total += value * 3600000; break;
      case 'm': total += value * 60000; break;
      case 's': total += value * 1000; break;
      default: return false;
    }
    if (total > kMaxTimeMs) return false;  // each part is below 2^45: no overflow before
  }
  *ms = total;
  return true;
}

bool ParsePercent(const std::string& text, int* percent) {
  if (text.size() < 2 || text.size() > 4 || text.back() != '%') return false;
  int value = 0;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (value > 100) return false;
  *percent = value;
  return true;
}

}  // namespace

bool ParseScenario(const std::string& text, std::vector<BenchEvent>* events, std::string* error) {
  std::istringstream in(text);
  std::string line;
  std::vector<BenchEvent> parsed;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string at, time, what, argument, extra;
    words >> at >> time >> what >> argument >> extra;
    if (at.empty() || at[0] == '#') continue;
    BenchEvent event;
    bool good = at == "at" && ParseTime(time, &event.atMs) && extra.empty();
    if (good && what == "plug" && argument.empty()) {
      event.kind = BenchEvent::kPlug;
    } else if (good && what == "unplug" && argument.empty()) {
      event.kind = BenchEvent::kUnplug;
    } else if (good && what == "charge" && ParsePercent(argument, &event.percent)) {
      event.kind = BenchEvent::kCharge;
    } else {
      *error = std::to_string(number) +
               ": expected 'at TIME plug', 'at TIME unplug' or 'at TIME charge N%' (TIME as 0, "
               "45s, 30m, 2h or 1h30m, at most 100000h)";
      return false;
    }
    parsed.push_back(event);
  }
  std::stable_sort(parsed.begin(), parsed.end(),
                   [](const BenchEvent& a, const BenchEvent& b) { return a.atMs < b.atMs; });
  *events = parsed;
  return true;
}

bool ReadScenarioFile(const std::string& path, std::vector<BenchEvent>* events,
                      std::string* error) {
  // Without waiting: a FIFO is refused, not waited on for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct stat status;
  std::string text;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    *error = "not a regular file";
  } else if (static_cast<uint64_t>(status.st_size) > kMaxScenarioBytes) {
    *error = "larger than " + std::to_string(kMaxScenarioBytes) + " bytes, too long for a scenario";
  } else {
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 && text.size() <= kMaxScenarioBytes) {
      text.append(buffer, static_cast<size_t>(got));
    }
    if (got < 0) *error = std::strerror(errno);
  }
  close(fd);
  if (!error->empty()) return false;
  if (!ParseScenario(text, events, error)) {
    *error = "line " + *error;
    return false;
  }
  return true;
}

}  // namespace termsim
