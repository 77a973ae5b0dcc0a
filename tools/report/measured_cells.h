// Measured discharges of real lithium-ion cells, from a directory of the design set:
// `index.csv`, a row per discharge (dataset, cell, discharge_id, load_type, ...,
// nominal_capacity_ah, nominal_cutoff_v, ..., duration_s, ..., ah_integrated, ...) and
// `discharges.csv.gz`, a row per sample (dataset, cell, discharge_id, t_s, voltage_v,
// current_a). Read for the backtest of the time left (backtest.h); the set itself is not
// part of the project.
#ifndef TOOLS_REPORT_MEASURED_CELLS_H
#define TOOLS_REPORT_MEASURED_CELLS_H

#include <string>
#include <vector>

namespace report {

struct MeasuredDischarge {
  std::string dataset, cell, id;       // as in the index
  std::string load;                    // its load_type: "CC 2 A", ...
  double capacityAh = 0;               // the cell's nominal capacity
  double cutoffVolts = 0;              // the laboratory's empty voltage
  double chargeAh = 0;                 // the charge it gave
  std::vector<double> seconds, volts;  // its samples, from its start
  std::vector<double> amps;            // positive discharging; NAN where not known
};

// Where the set is: $BATTEST_CELLS, else the build's BATTEST_CELLS_DIR (by default
// ../shared/cells beside the source tree).
std::string MeasuredCellsDir();

// The discharges of the index in its order (taken as the order of their dates within each
// cell), with their samples. False, with what failed in `error`, when a file cannot be read
// or a row is not as above.
bool ReadMeasuredCells(const std::string& dir, std::vector<MeasuredDischarge>* discharges,
                       std::string* error);

}  // namespace report

#endif
