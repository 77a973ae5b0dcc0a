#include "host/power_sim/sim_battery.h"

#include <algorithm>
#include <cmath>

namespace termsim {
namespace {

// The open-circuit voltage of a Li-ion cell every 10 % of charge (mV): steep at both
// ends, flat in the middle.
constexpr int kCurveMv[11] = {3400, 3620, 3690, 3740, 3780, 3820, 3870, 3930, 4000, 4090, 4200};

constexpr double kMsPerHour = 3600.0 * 1000.0;

}  // namespace

int64_t SimBattery::OpenCircuitUv(double percent) {
  const double p = std::min(100.0, std::max(0.0, percent));
  const int i = std::min(9, static_cast<int>(p / 10));
  const double within = (p - i * 10) / 10;
  const double mv = kCurveMv[i] + (kCurveMv[i + 1] - kCurveMv[i]) * within;
  return static_cast<int64_t>(std::llround(mv * 1000));
}

double SimBattery::ChargeCurrentMa() const {
  if (!mains_ || percent_ >= 100) return 0;
  // Constant current, then less and less over the last 10 % (the constant voltage phase).
  return kChargeMa * std::min(1.0, std::max(0.05, (100 - percent_) / 10));
}

void SimBattery::Step(uint64_t ms) {
  const double hours = static_cast<double>(ms) / kMsPerHour;
  // On mains the terminal runs from the mains; on battery the cell carries its load.
  const double currentMa = mains_ ? ChargeCurrentMa() : -kLoadMa;
  percent_ += currentMa * hours / kCapacityMah * 100;
  percent_ = std::min(100.0, std::max(0.0, percent_));
}

void SimBattery::SetCharge(double percent) { percent_ = std::min(100.0, std::max(0.0, percent)); }

SimBatteryReading SimBattery::Read() const {
  SimBatteryReading reading;
  reading.mainsOnline = mains_;
  reading.capacityPercent = static_cast<int>(std::lround(percent_));
  const int64_t open = OpenCircuitUv(percent_);
  if (mains_) {
    const double charge = ChargeCurrentMa();
    reading.status = charge > 0 ? "Charging" : "Full";
    const int64_t rise = static_cast<int64_t>(std::llround(charge * kResistanceOhm * 1000));
    reading.voltageNowUv = std::min(kVoltageMaxUv, open + rise);
  } else {
    reading.status = "Discharging";
    const int64_t drop = static_cast<int64_t>(std::llround(kLoadMa * kResistanceOhm * 1000));
    // An empty cell reads its minimum: the terminal shuts down there.
    reading.voltageNowUv = std::max(kVoltageMinUv, open - drop);
  }
  return reading;
}

}  // namespace termsim
