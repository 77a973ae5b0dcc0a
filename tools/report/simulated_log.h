// Battery logs as the program would write them, made up for the tests, the benchmark and
// the README's example. Lines come as app/screen_refresh.cpp writes them: every 10
// minutes, every minute once a voltage was read and the filtered percentage is 40 or less.
// The percentages follow battery/battery_monitor.cpp: linear from voltage min to max,
// filtered never rising while the terminal stays on battery.
#ifndef TOOLS_REPORT_SIMULATED_LOG_H
#define TOOLS_REPORT_SIMULATED_LOG_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/report/log_line.h"

namespace report {

// A line as the program writes it, with CR LF; and lines one after another, as a log.
std::string FormatLogLine(const Reading& r);
std::string LogText(const std::vector<Reading>& lines);

// A lithium cell's shape: 1 at the start of a discharge (fraction 0), a steep first drop,
// a long slope, and a knee down to 0 at the end (fraction 1).
double LithiumShape(double fraction);

class LogSimulator {
 public:
  // Voltages in the log's unit (the kernel's: µV or mV).
  LogSimulator(Seconds start, int32_t voltageMax, int32_t voltageMin);

  // On battery for `hours`: voltage now is voltage(h) at h hours into this call.
  void Discharge(double hours, const std::function<double(double)>& voltage);
  // On external power for `hours`: lines go on with the last battery values.
  void ExternalPower(double hours);
  // The terminal's clock is set by `delta` before the next line.
  void SetClock(Seconds delta) { next_ += delta; }
  // Adds uniform noise of +-amplitude to each voltage now read from here on.
  void SetNoise(int32_t amplitude) { noise_ = amplitude; }

  const std::vector<Reading>& Readings() const { return lines_; }
  std::string Text() const;
  bool Save(const std::string& path) const;

 private:
  void Append(Reading r);
  int32_t Noise();

  Seconds next_;
  Reading state_;
  bool onBatteryBefore_ = false;
  int32_t noise_ = 0;
  uint32_t random_ = 12345;
  std::vector<Reading> lines_;
};

}  // namespace report

#endif
