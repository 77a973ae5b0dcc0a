// The unit of the log's voltages. The program writes what the kernel gives: microvolts on
// Linux's power-supply class, but some kernels give millivolts. A terminal's battery is
// between about 1 V and 20 V: 10^6..2*10^7 as microvolts, 10^3..2*10^4 as millivolts.
// So the largest voltage magnitude in a terminal's lines decides: 100 000 or more is
// microvolts (0.1 V and up), less is millivolts (below 100 V). All zero: no unit.
#ifndef TOOLS_REPORT_UNITS_H
#define TOOLS_REPORT_UNITS_H

#include <cstdint>
#include <vector>

#include "tools/report/log_line.h"

namespace report {

enum class VoltageUnit { None, Microvolt, Millivolt };

constexpr int64_t MICROVOLT_FROM = 100000;

VoltageUnit DetectUnit(const std::vector<const Reading*>& readings);
double ToVolts(int32_t value, VoltageUnit unit);
const char* UnitName(VoltageUnit unit);  // "µV", "mV", "none"

}  // namespace report

#endif
