// A simulated battery: one Li-ion cell behind a terminal that draws a steady load,
// charged when mains power is plugged in. Units are the kernel's power-supply class's:
// voltages in µV, charge in percent.
#ifndef HOST_POWER_SIM_SIM_BATTERY_H
#define HOST_POWER_SIM_SIM_BATTERY_H

#include <cstdint>

namespace termsim {

struct SimBatteryReading {
  int64_t voltageNowUv = 0;  // at the terminals, under the load or the charge current
  int capacityPercent = 0;   // state of charge, rounded
  const char* status = "";   // "Charging", "Discharging" or "Full", as the kernel says
  bool mainsOnline = false;
};

class SimBattery {
 public:
  static constexpr int64_t kVoltageMaxUv = 4200000;  // full
  static constexpr int64_t kVoltageMinUv = 3400000;  // empty
  static constexpr double kCapacityMah = 2000;
  static constexpr double kLoadMa = 200;             // a full discharge in 10 h
  static constexpr double kChargeMa = 1000;          // 0.5 C, tapering near full
  static constexpr double kResistanceOhm = 0.1;

  // Open-circuit voltage of the cell at a state of charge (0..100 %), in µV.
  static int64_t OpenCircuitUv(double percent);

  explicit SimBattery(double percent = 100, bool mains = false)
      : percent_(percent), mains_(mains) {}

  // Lets ms of time pass: the load drains the cell, or the charger fills it.
  void Step(uint64_t ms);
  void SetMains(bool online) { mains_ = online; }
  void SetCharge(double percent);
  bool Mains() const { return mains_; }
  double Percent() const { return percent_; }
  SimBatteryReading Read() const;

 private:
  double ChargeCurrentMa() const;

  double percent_;
  bool mains_;
};

}  // namespace termsim

#endif
