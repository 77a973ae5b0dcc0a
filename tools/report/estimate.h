// Time left to 0 %: a least-squares line p = a + b*u through the filtered percentage of
// the last hour of falling readings, with u the seconds from the last of them (the
// caller passes p + 0.5 for a reading of p %, which the monitor rounded down). The line
// reaches 0 % at T = -a/b after that reading. With the residual variance
// s^2 = SSR/(n-2), Var(b) = s^2/Sxx, Var(a) = s^2 (1/n + mean(u)^2/Sxx) and
// Cov(a,b) = -mean(u) s^2/Sxx, the standard error of T follows by the delta method:
//   Var(T) = Var(a)/b^2 + a^2 Var(b)/b^4 - 2 a Cov(a,b)/b^3.
// It is not estimated from fewer than 3 readings, nor when the line does not fall, nor
// when it falls by less than MIN_FALL_PER_HOUR: that is a held reading's rounding, not a
// discharge, and its 0 % would lie beyond any duration.
#ifndef TOOLS_REPORT_ESTIMATE_H
#define TOOLS_REPORT_ESTIMATE_H

#include <string>
#include <vector>

namespace report {

constexpr double ESTIMATE_WINDOW_S = 3600;
constexpr double MIN_FALL_PER_HOUR = 0.01;  // %/h: 0 % after more than 10 000 hours

struct Point {
  double u;  // seconds, 0 at the last reading
  double percent;
};

struct TimeLeft {
  bool known = false;
  std::string whyNot;          // when not known
  double seconds = 0;          // from the last reading to 0 %
  double standardError = 0;    // of `seconds`
  double percentPerHour = 0;   // the line's slope, negative
};

TimeLeft EstimateTimeLeft(const std::vector<Point>& points);

}  // namespace report

#endif
