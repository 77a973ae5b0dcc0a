#include "host/bench/scenario.h"

#include <algorithm>
#include <sstream>

namespace termsim {
namespace {

// "2h", "30m", "1h30m", "45s", "0": milliseconds, or false.
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
               "45s, 30m, 2h or 1h30m)";
      return false;
    }
    parsed.push_back(event);
  }
  std::stable_sort(parsed.begin(), parsed.end(),
                   [](const BenchEvent& a, const BenchEvent& b) { return a.atMs < b.atMs; });
  *events = parsed;
  return true;
}

}  // namespace termsim
