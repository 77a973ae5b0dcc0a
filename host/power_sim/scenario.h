// A battery bench's scenario: events at times of the program's clock, one a line.
//   # a comment
//   at 0 charge 50%     (the charge, 0..100 %)
//   at 2h unplug        (mains off)
//   at 6h30m plug       (mains on)
// Times are counted from the bench's start: a whole number with h, m or s, or several
// of them (1h30m), or 0; at most 100000 hours.
#ifndef HOST_POWER_SIM_SCENARIO_H
#define HOST_POWER_SIM_SCENARIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace termsim {

struct BenchEvent {
  enum Kind { kPlug, kUnplug, kCharge };
  uint64_t atMs = 0;
  Kind kind = kPlug;
  int percent = 0;  // kCharge
};

// Reads a scenario; the events come out in time order (as given for equal times).
// A line it cannot read makes it return false with "LINE: what is wrong" in *error.
bool ParseScenario(const std::string& text, std::vector<BenchEvent>* events, std::string* error);

// Reads a scenario file: a regular file of at most a megabyte; anything else (a FIFO, a
// device, a directory) is refused without waiting. False with what is wrong in *error
// ("line LINE: ..." for a line it cannot read).
bool ReadScenarioFile(const std::string& path, std::vector<BenchEvent>* events,
                      std::string* error);

}  // namespace termsim

#endif
