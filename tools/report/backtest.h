// A backtest of the time left to 0 %: made-up cells, discharged as the program would log
// them, each log cut where the filtered percentage first reaches 80, 60, 40, 30, 20 and
// 10 %, and the report's estimate at each cut set against the true time to 0 %.
//
// A cell: an open-circuit curve of its family, a capacity of 1.2 to 3.5 Ah, a load that is
// constant, stepped or varying (80 to 600 mA; one that steps or swings starts its log at a
// random point of its cycle), an internal resistance of 0.05 to 0.4 ohm,
// Gaussian reading noise of 2 to 5 mV, limits (voltage max above its full voltage, voltage
// min between 3.0 and 3.5 V) in µV or mV, started full or part-charged. The monitor is
// followed reading by reading, twice a second: the linear percentage, the filter that
// never lets it rise on battery (so it follows the lowest noisy reading), a log line every
// 10 minutes and every minute at 40 % or less. The truth is the first reading whose
// filtered percentage is 0.
//
// Three families of curves: `Design`, used while the estimator was made; `HeldOut`, a
// curve of another form, kept apart to check the estimator on cells it was not made on;
// and `Bench`, the bench's simulated cell's own curve (empty at 3.4 V, full at 4.2 V, its
// fall steepening over the last 30 % of the charge) with the same variety of loads,
// resistances, noise, capacities and units, voltage max 0 to 0.15 V above full and voltage
// min 3.3, 3.4 or 3.5 V, near its empty end as on the bench. Its figures stand apart.
#ifndef TOOLS_REPORT_BACKTEST_H
#define TOOLS_REPORT_BACKTEST_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/report/measured_cells.h"

namespace report {

enum class CellFamily { Design, HeldOut, Bench };

struct Cut {
  int cell;
  std::string group;    // of a measured discharge: its data set and cell
  int percent;          // where the log was cut
  std::string cellText; // what the cell was, for a reader of the figures
  std::string load;     // "constant", "stepped" or "varying"
  double truth;         // seconds from the cut's last line to 0 %
  bool known;           // the report gave an estimate
  bool fallingHour;     // the percentage had been falling for an hour at the cut
  double estimate, low, high;
  double informed;      // the time left by the cell's true charge and last 3 h's load (a reference)
  double informedWhole; // the same with the mean load since the log's start
};

struct BacktestFigures {
  size_t cuts = 0, known = 0;
  double medianError = 0;     // relative error |estimate - truth| / truth; missing ones count as infinite
  double medianErrorLow = 0;  // over the cuts at 40 % or less
  size_t lowCuts = 0;
  double coverage = 0;        // share of cuts whose 80 % interval holds the truth
  double medianWidth = 0;     // of the interval's width over the truth, where known
  size_t missingAfterHour = 0;  // cuts without an estimate after an hour of falling percentage
  double medianErrorInformed = 0;  // of the reference that knew the charge and the last 3 h's load
  double medianErrorInformedWhole = 0;  // of the one that knew the charge and the whole log's load
  double medianLogRatio = 0;  // of ln(estimate / truth) over the cuts with an estimate: its bias
};

// With `learnt`, each cell's log starts with a discharge to 0 % of another cell of its
// model at a steady load, days before, whose curve the estimate may learn.
std::vector<Cut> RunBacktest(CellFamily family, uint32_t seed, int cells, bool learnt = false);
// The bench's own cell as the bench runs it (2 Ah, 200 mA, 0.1 ohm, no noise, µV, limits
// 3.4 and 4.2 V) from `startCharge` (a fraction) to 0 %, its log cut at the first line
// that shows each of `percents` or less; with `learnt`, the log starts with a run of the
// same cell from full to 0 % days before.
std::vector<Cut> RunBenchCell(double startCharge, const std::vector<int>& percents,
                              bool learnt = false);
BacktestFigures Figures(const std::vector<Cut>& cuts);

// Measured discharges (measured_cells.h), each replayed through the monitor and the log
// (readings twice a second through the filter, a line every 10 minutes and every minute
// at 40 % or less) between the terminal's own limits, in µV, stretched in time as the
// longest of its cell under its load is to `stretchHours` (never shrunk), with reading
// noise. The limits are the terminal's, not the laboratory's: the monitor divides by the
// voltage_max and voltage_min its battery's driver reports, the battery's design full and
// empty under load, and the terminal's are 4.2 V and 3.4 V (its kernel files, and the
// bench's simulated battery that stands for it). A laboratory's cut-off (2.5 to 3.0 V
// here) is the cell's absolute limit at its test current, far below where a terminal
// stops; so the truth is the first reading whose filtered percentage is 0 at the
// terminal's minimum, as for the made-up cells, or the laboratory's cut-off where that is
// the higher. Only discharges that gave MEASURED_LEAST_CHARGE of their cell's capacity or
// more: one that stops far short of that reached its cut-off under its load with its
// charge still in it, no run to empty. Each log is cut as the made-up cells' are, and
// estimated three ways: from the log alone; with the store of learnt curves holding the
// cell's earlier discharges (stored in the order given, as a report of each whole log
// would store it: only cuts of discharges with one before); and by a straight line
// through the last hour's filtered percentage, as a naive tool would (its interval is the
// estimate alone).
constexpr double TERMINAL_VOLTS_MAX = 4.2, TERMINAL_VOLTS_MIN = 3.4;
constexpr double MEASURED_LEAST_CHARGE = 0.5;
enum class StoredRule { Latest, First, Mean };
struct MeasuredOptions {
  StoredRule stored = StoredRule::Latest;  // what the store offers: as a report (the latest
  int meanOf = 4;                          // kept), the cell's first, or the mean of the latest
  double stretchHours = 10;                // the bench's cell's hours from full to empty
  double noiseVolts = 0.003;
  double voltsMax = TERMINAL_VOLTS_MAX;  // the monitor's limits
  double voltsMin = TERMINAL_VOLTS_MIN;
  int every = 1;        // estimates every so many discharges of a cell (all are stored)
};
struct MeasuredCuts {
  std::vector<Cut> alone, stored, naive;
};
MeasuredCuts RunMeasuredBacktest(const std::vector<MeasuredDischarge>& discharges,
                                 const MeasuredOptions& options = {});

// Writes into `dir`, for each cell of `discharges`, the log of its discharge that runs
// longest before its first line at `percent` % or less, replayed as the backtest replays
// it and cut there, as the terminal would upload it (r_CELL_yyyymmddHHMM.txt). False, with what failed in `error`,
// when a file cannot be written.
bool WriteMeasuredLogs(const std::vector<MeasuredDischarge>& discharges,
                       const MeasuredOptions& options, int percent, const std::string& dir,
                       std::string* error);

}  // namespace report

#endif
