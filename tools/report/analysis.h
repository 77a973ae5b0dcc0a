// The figures of one terminal's summary.
//
// Only lines with a battery reading (voltage now not 0) count for voltages, percentages,
// rates and estimates; the others count as lines and stamps.
//
// Discharge rate: within each segment the readings are cut where the filtered percentage
// rises (after a charge) and around a held voltage (below). Each piece whose percentage
// fell from its first to its last reading adds its fall in % and in mV, and its length;
// the rates are the sums of the falls over the sum of the lengths.
//
// Held voltage: while the terminal is on external power the monitor keeps its last
// battery values, so a voltage now that stays exactly the same for more than 30 minutes
// while lines go on is reported as probably on external power. Such a stretch is no part
// of any falling piece, nor is the step from its last reading to the next.
#ifndef TOOLS_REPORT_ANALYSIS_H
#define TOOLS_REPORT_ANALYSIS_H

#include <vector>

#include "tools/report/estimate.h"
#include "tools/report/timeline.h"

namespace report {

constexpr int LOW_PERCENT = 40;
// A fall of the filtered percentage faster than this between two readings, and by more
// than IMPLAUSIBLE_MIN_FALL, is no battery's: it cuts the discharge, and is left out of
// the rates and the estimate (two runs appended in one log, or two batteries).
constexpr double IMPLAUSIBLE_PERCENT_PER_HOUR = 100;
constexpr int IMPLAUSIBLE_MIN_FALL = 20;  // a steep knee can fall 5 % in a minute
constexpr Seconds HELD_VOLTAGE_S = 30 * 60;
// A discharge to learn a curve from: a falling piece from this filtered percentage or
// more down to this or less (the monitor logs 0 % while the terminal still runs). Its
// time is taken as its charge, so it need not start full: a curve in units of its own
// charge serves as well, the present readings above it taking its top's slope.
constexpr int LEARN_FROM_PERCENT = 60;
constexpr int LEARN_TO_PERCENT = 5;

struct HeldVoltage {
  Seconds from, to;
  double volts;
};

struct Summary {
  Seconds first = 0, last = 0;  // stamps of the first and last line
  Seconds logged = 0;           // the segments' lengths added up
  size_t lines = 0, withoutReading = 0;

  bool hasReading = false;      // all that follows needs one
  double voltsStart = 0, voltsEnd = 0, voltsMin = 0;
  int percentStart = 0, percentEnd = 0, percentLowest = 0;

  Seconds fallingTime = 0;      // 0: the percentage never fell, no rate
  double percentPerHour = 0, millivoltsPerHour = 0;

  bool reachedLow = false;      // filtered percentage at LOW_PERCENT or less
  Seconds lowStamp = 0, lowElapsed = 0;  // its stamp, and how long after the first

  TimeLeft timeLeft;
  Seconds timeLeftFrom = 0;     // the stamp the estimate counts from
  size_t timeLeftReadings = 0;

  std::vector<HeldVoltage> externalPower;

  size_t implausible = 0;        // falls faster than IMPLAUSIBLE_PERCENT_PER_HOUR
  std::string firstImplausible;  // "FILE:LINE: 90 % to 5 % in 1 min"
};

// The summary of `terminal`. Its estimate of the time left takes the curve of the latest
// discharge to empty (from LEARN_FROM_PERCENT or more to LEARN_TO_PERCENT or less) among the
// terminals `related` (itself when none are given), when there is one, but for the piece
// it estimates from; else the typical curves.
Summary Summarise(const Terminal& terminal, const std::vector<const Terminal*>& related = {});
// The summaries of all `terminals`, each related to those of its model.
std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals);

}  // namespace report

#endif
