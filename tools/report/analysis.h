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

#include <cstdint>
#include <string>
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

// A stretch at 0 %: the battery empty, or, on external power, the monitor keeping the last
// reading of an empty battery; so where the percentage rose after it, the terminal was
// probably charged in it.
struct EmptyStretch {
  Seconds from, to;       // its first and last reading
  bool rose = false;      // a reading above 0 % came after it
  bool afterGap = false;  // in the next segment (see timeline.h)
  Seconds riseAt = 0;     // that reading's stamp
  int riseTo = 0;         // and its filtered percentage
};

// A discharge to empty whose curve the estimate may take: learnt from the logs given, or
// kept by an earlier report in the store of learnt curves (curve_store.h).
struct LearntDischarge {
  std::string model;                   // the terminal model of its uploads; "" for another file
  const Terminal* terminal = nullptr;  // the terminal it was learnt from; none when stored
  std::string source;                  // its log: the path given, or the file name in the store
  std::string lines;                   // "1 to 85", "1 to FILE:85" in `source`; "" when stored
  Seconds first = 0, last = 0;         // its first reading, and its first at its lowest percentage
  int64_t stored = 0;                  // when it was stored, in seconds since 1970 (UTC); 0: not
  LearntCurve curve;
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
  std::vector<EmptyStretch> empty;
  Seconds emptyTime = 0;  // the empty stretches' lengths added up

  LearntDischarge curve;   // the learnt curve offered to the estimate (curve.known: any)
  bool storeRead = false;  // the store's curves of its model were offered too

  size_t implausible = 0;        // falls faster than IMPLAUSIBLE_PERCENT_PER_HOUR
  std::string firstImplausible;  // "FILE:LINE: 90 % to 5 % in 1 min"
};

// The discharges to empty of `terminals` that lend a curve: falling pieces from
// LEARN_FROM_PERCENT or more down to LEARN_TO_PERCENT or less, up to their first reading at
// their lowest percentage, whose readings give a curve (LearnCurve). In time order within
// each terminal.
std::vector<LearntDischarge> Discharges(const std::vector<Terminal>& terminals);

// The summary of `terminal`. Its estimate of the time left is offered the curve of the
// latest discharge of `offered` (by its end), but for one that overlaps the piece it
// estimates from (that piece itself, learnt or stored before); with none, the typical
// curves alone. `storeRead` says whether the store's curves were among those offered.
Summary Summarise(const Terminal& terminal, const std::vector<const LearntDischarge*>& offered,
                  bool storeRead = false);
// The same, offered the terminal's own discharges.
Summary Summarise(const Terminal& terminal);
// The summaries of all `terminals`, each offered the discharges of `learnt` (Discharges())
// of its model, or, for a terminal without a model, its own; and `stored`, the store's
// curves, of its model. Without `learnt`, those of `terminals`.
std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals,
                                  const std::vector<LearntDischarge>& learnt,
                                  const std::vector<LearntDischarge>* stored);
std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals);

}  // namespace report

#endif
