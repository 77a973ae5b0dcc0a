#include "tools/report/simulated_log.h"

#include <cmath>
#include <cstdio>

namespace report {

std::string FormatLogLine(const Reading& r) {
  CivilTime t = ToCivil(r.time);
  char line[128];
  std::snprintf(line, sizeof line, "%02d.%02d.%d %02d:%02d:%02d %d %d %d %d%% %d%%\r\n", t.day,
                t.month, t.year, t.hour, t.minute, t.second, r.voltageMax, r.voltageMin,
                r.voltageNow, r.linearPercent, r.filteredPercent);
  return line;
}

std::string LogText(const std::vector<Reading>& lines) {
  std::string text;
  for (const Reading& r : lines) text += FormatLogLine(r);
  return text;
}

double LithiumShape(double fraction) {
  double s = 1 - fraction;  // state of charge
  return 0.70 * s + 0.22 * (1 - std::exp(-s / 0.06)) + 0.08 * std::exp((s - 1) / 0.04);
}

LogSimulator::LogSimulator(Seconds start, int32_t voltageMax, int32_t voltageMin) : next_(start) {
  state_.voltageMax = voltageMax;
  state_.voltageMin = voltageMin;
}

int32_t LogSimulator::Noise() {
  if (noise_ == 0) return 0;
  random_ = random_ * 1103515245u + 12345u;
  return static_cast<int32_t>((random_ >> 8) % static_cast<uint32_t>(2 * noise_ + 1)) - noise_;
}

void LogSimulator::Append(Reading r) {
  r.time = next_;
  lines_.push_back(r);
  bool low = r.voltageNow != 0 && r.filteredPercent <= 40;
  next_ += low ? 60 : 600;
}

void LogSimulator::Discharge(double hours, const std::function<double(double)>& voltage) {
  const Seconds start = next_;
  while (next_ - start <= std::llround(hours * 3600)) {
    int32_t v = static_cast<int32_t>(std::lround(voltage((next_ - start) / 3600.0))) + Noise();
    state_.voltageNow = v;
    if (state_.voltageMin <= v && v <= state_.voltageMax && state_.voltageMax > state_.voltageMin) {
      int64_t linear = (static_cast<int64_t>(v) - state_.voltageMin) * 100 /
                       (static_cast<int64_t>(state_.voltageMax) - state_.voltageMin);
      state_.linearPercent = static_cast<int>(linear);
      if (!onBatteryBefore_ || state_.linearPercent < state_.filteredPercent) {
        state_.filteredPercent = state_.linearPercent;
      }
    }
    onBatteryBefore_ = true;
    Append(state_);
  }
}

void LogSimulator::ExternalPower(double hours) {
  onBatteryBefore_ = false;
  const Seconds start = next_;
  while (next_ - start <= std::llround(hours * 3600)) Append(state_);
}

std::string LogSimulator::Text() const { return LogText(lines_); }

bool LogSimulator::Save(const std::string& path) const {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::string text = Text();
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace report
