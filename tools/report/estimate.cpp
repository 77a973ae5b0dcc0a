#include "tools/report/estimate.h"

#include <algorithm>
#include <cmath>

namespace report {

TimeLeft EstimateTimeLeft(const std::vector<Point>& points) {
  TimeLeft result;
  const double n = static_cast<double>(points.size());
  if (points.size() < 3) {
    result.whyNot = "fewer than 3 readings in the last hour of falling percentage";
    return result;
  }
  double meanU = 0, meanP = 0;
  for (const Point& p : points) {
    meanU += p.u / n;
    meanP += p.percent / n;
  }
  double sxx = 0, sxy = 0;
  for (const Point& p : points) {
    sxx += (p.u - meanU) * (p.u - meanU);
    sxy += (p.u - meanU) * (p.percent - meanP);
  }
  double b = sxx > 0 ? sxy / sxx : 0;
  if (!(b * 3600 < -MIN_FALL_PER_HOUR)) {
    result.whyNot = "the percentage did not fall over the last hour of readings";
    return result;
  }
  double a = meanP - b * meanU;
  double ssr = 0;
  for (const Point& p : points) {
    double r = p.percent - (a + b * p.u);
    ssr += r * r;
  }
  double s2 = ssr / (n - 2);
  double varB = s2 / sxx;
  double varA = s2 * (1 / n + meanU * meanU / sxx);
  double covAB = -meanU * s2 / sxx;
  double varT = varA / (b * b) + a * a * varB / (b * b * b * b) - 2 * a * covAB / (b * b * b);
  result.known = true;
  result.seconds = -a / b;
  result.standardError = std::sqrt(std::max(varT, 0.0));
  result.percentPerHour = b * 3600;
  return result;
}

}  // namespace report
