// The battery bench: a simulated battery behind a made-up power-supply class, for a PC
// that has no battery like the terminal's. It keeps DIR/battery (type, present,
// voltage_max, voltage_min, voltage_now, capacity, status) and DIR/Mains (type, online)
// current as a kernel would, on the program's clock, plays a scenario, and plugs or
// unplugs the mains on the host's function key F2.
#ifndef HOST_POWER_SIM_BATTERY_BENCH_H
#define HOST_POWER_SIM_BATTERY_BENCH_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/power_sim/scenario.h"
#include "host/power_sim/sim_battery.h"

namespace termsim {

class BatteryBench {
 public:
  // A full battery, mains unplugged, at program time startMs.
  BatteryBench(std::string dir, std::vector<BenchEvent> events, uint64_t startMs);

  // Lets the battery live up to program time nowMs, the scenario's events on the way
  // taking effect at their times.
  void Advance(uint64_t nowMs);
  void ToggleMains();
  // Writes the supply's files, each replaced whole (written beside, then renamed) so
  // that a reader never sees half a value. False when one could not be written.
  bool WriteFiles() const;
  SimBatteryReading Read() const;

 private:
  mutable std::mutex mutex_;
  std::string dir_;
  std::vector<BenchEvent> events_;
  size_t nextEvent_ = 0;
  uint64_t startMs_;
  uint64_t nowMs_;
  SimBattery battery_;
};

// Starts the bench of the program from TERMSIM_BATTERY_SIM (the power-supply class
// directory it keeps) and TERMSIM_BATTERY_SCENARIO (a scenario file, optional): writes
// the files once, then keeps them current on a thread of its own; true then. Without
// TERMSIM_BATTERY_SIM it does nothing and returns false. A scenario or directory it
// cannot use ends the program with a message.
bool StartBatteryBenchFromEnvironment();
// Plugs or unplugs the mains of the bench started above (the host's key F2).
void ToggleBenchMains();

}  // namespace termsim

#endif
