// Time left to 0 %: a model of the discharge, not a straight line through percentages.
//
// A lithium-ion cell's voltage is not linear in its charge: flat through the middle, a knee
// near empty, and lowered under load by the drop over its internal resistance, a drop that
// follows the current, so the rate at which the charge falls. So each reading is taken as
// v = OCV(s) - d  with  d = c + rho * r : the open-circuit voltage at the state of charge
// s, less a load drop made of a constant c and a share rho of the rate r at which s falls
// then. A load that steps or swings moves the voltage through the drop; a constant drop
// would take that for a change of charge. The estimator does not know the cell's curve: it
// keeps a set of lithium-ion open-circuit curves (typical chemistries, and sloped curves
// with knees of several heights and widths, each held at every 1 % of charge). When the
// logs given hold a discharge to empty of the same model, the curve learnt from it joins
// the set with the weight of 1,100 of them, its own load's drop reckoned in: the cell's own
// curve, unless the readings fit it clearly worse (so it must come from a discharge at a
// steady load of the same battery). First each curve is stretched about 3.7 V (a learnt one
// hardly: by its age) and lowered by a constant drop, both on grids with a prior; the
// readings (binned, the last 3 hours weighing most) are mapped to states of charge, a
// weighted line s = a + k*u is fitted through them (u in hours, 0 at the last reading), and
// the stretch whose line fits the voltages best is kept. Then, with that stretch, the
// charge is fitted as a continuous broken line (pieces of about 45 minutes, the rate's
// changes between pieces held small) for rho and c on grids (c with a prior about 0), and
// the choice that fits the voltages best is kept. The future load is the mean rate of the
// last 3 hours, and its drop says where the voltage shows 0 % (the minimum voltage plus 1 %
// of the span, plus twice the readings' noise, since the filter keeps the lowest reading):
// each curve says when the charge, falling at that rate from where the broken line ends,
// reaches it.
//
// The estimate is the curves' geometric mean, weighed by how well each fits. Its 80 %
// interval is log-normal, with the variances of the real uncertainties added up: the
// spread among the curves (the curve), the spread within each curve over the stretches
// and constant drops its readings fit (a steady load hardly tells a larger drop from a
// curve placed lower, and the time left follows them), the changes of the rate of
// discharge between the last hours of the log and the voltage's wobble about the fit (the
// load), the fit's own standard errors (the readings' noise and rounding), and a floor
// for what no curve of the set can show. Curves that fit the readings almost as well may
// part far beyond that spread (a knee ahead, or none yet), and which one the cell has the
// readings alone seldom tell; so the interval also takes in every time within the
// likelihood ratio of its level with the curve left open: the closest curve's own interval
// (its fit's, the load's and the floor's variances added up), and each other curve's,
// narrowed as its fit is worse, down to none where it is worse by the chi-square's 80th
// percentile.
//
// When the readings as they are show no fall of charge though the percentage fell (a
// load that eased lifted the voltage), the estimate is made from their lower envelope,
// the lowest reading so far, which is what the filtered percentage shows.
//
// No estimate from fewer than 2 readings or less than 10 minutes of them, nor when the
// charge does not fall by an amount that matters (an estimate past ESTIMATE_MAX_SECONDS,
// a slope too small to matter, counts as not falling). The result never exceeds
// ESTIMATE_MAX_SECONDS, so it always fits a duration.
#ifndef TOOLS_REPORT_ESTIMATE_H
#define TOOLS_REPORT_ESTIMATE_H

#include <string>
#include <vector>

namespace report {

constexpr double ESTIMATE_MAX_SECONDS = 1000.0 * 86400;  // about three years
constexpr double INTERVAL_LEVEL = 0.80;

struct Sample {
  double seconds;  // 0 at the last reading, negative before
  double volts;    // voltage now
};

// A discharge to empty (5 % or less) of the same model, learnt from the logs given: the
// voltage at each 1 % of the time it took, from its last reading (0) back to its first
// (100). Under a steady load, time is charge, so this is the cell's own curve under that
// load, in units of the charge that discharge used.
constexpr int LEARNT_POINTS = 101;
struct LearntCurve {
  bool known = false;
  double volts[LEARNT_POINTS] = {};
  double hours = 0;  // how long that discharge took
};

// The curve of `discharge` (in time order, on battery, down to empty); not known from
// fewer than 20 readings or less than an hour of them, from readings that leave a tenth
// of its time empty, or from a voltage that falls by less than 0.1 V or falls back (by
// more than 5 mV, at more than a tenth of the curve's points) as a steady load's does not.
LearntCurve LearnCurve(const std::vector<Sample>& discharge);

struct EstimateInput {
  std::vector<Sample> samples;  // in time order, all on battery, one falling stretch
  double voltsMax = 0, voltsMin = 0;
  LearntCurve learnt;           // when known, it takes over from the typical curves
};

struct ProjectedPoint {
  double seconds;                // after the last reading
  double percent, low, high;     // the projected linear percentage and its 80 % band
};

struct TimeLeft {
  bool known = false;
  std::string whyNot;           // when not known
  double seconds = 0;           // from the last reading to 0 %
  double low = 0, high = 0;     // the 80 % interval of `seconds`
  std::string assumptions;      // one line: curve, load drop, load
  double chargePerHour = 0;     // the fitted fall of the state of charge, %/h, negative
  std::vector<ProjectedPoint> path;  // the projected percentage down to 0 %
};

TimeLeft EstimateTimeLeft(const EstimateInput& input);

}  // namespace report

#endif
