#include "tools/report/units.h"

#include <algorithm>

namespace report {

VoltageUnit DetectUnit(const std::vector<const Reading*>& readings) {
  int64_t largest = 0;
  for (const Reading* r : readings) {
    for (int64_t v : {r->voltageMax, r->voltageMin, r->voltageNow}) {
      largest = std::max(largest, v < 0 ? -v : v);
    }
  }
  if (largest == 0) return VoltageUnit::None;
  return largest >= MICROVOLT_FROM ? VoltageUnit::Microvolt : VoltageUnit::Millivolt;
}

double ToVolts(int32_t value, VoltageUnit unit) {
  return unit == VoltageUnit::Millivolt ? value / 1e3 : value / 1e6;
}

const char* UnitName(VoltageUnit unit) {
  switch (unit) {
    case VoltageUnit::Microvolt: return "µV";
    case VoltageUnit::Millivolt: return "mV";
    default: return "none";
  }
}

}  // namespace report
