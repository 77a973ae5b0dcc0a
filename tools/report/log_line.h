// One line of the battery log, as app/screen_refresh.cpp writes it:
//   "dd.mm.yyyy HH:MM:SS max min now linear% filtered%" and CR LF,
// with the three voltages in the kernel's unit and the two percentages 0..100.
#ifndef TOOLS_REPORT_LOG_LINE_H
#define TOOLS_REPORT_LOG_LINE_H

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/report/stamp.h"

namespace report {

struct Reading {
  Seconds time = 0;
  int32_t voltageMax = 0, voltageMin = 0, voltageNow = 0;
  int linearPercent = 0, filteredPercent = 0;

  // Voltage now is 0 until the monitor has read the battery once: the first refresh can
  // come before its first reading, and on external power it reads none until the
  // terminal runs on its battery. Such a line has a stamp but no battery values, and its
  // percentages are placeholders.
  bool HasBatteryReading() const { return voltageNow != 0; }
};

// Parses a line's text without its CR LF. Returns "" and fills *reading when the line is
// valid, or else says what is wrong with it (the first fault found).
std::string ParseLogLine(std::string_view text, Reading* reading);

}  // namespace report

#endif
