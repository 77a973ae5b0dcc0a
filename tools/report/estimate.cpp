#include "tools/report/estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace report {
namespace {

constexpr int CURVE_POINTS = 101;  // volts at 0, 1, ..., 100 % charge
constexpr int STEPS = CURVE_POINTS - 1;
struct Curve {
  char name[64];
  double volts[CURVE_POINTS];
  // The rate at which the charge fell (a fraction an hour) when the curve was taken: 0 for
  // an open-circuit curve, the load of its discharge for a learnt one.
  double loadRate;
};
static_assert(CURVE_POINTS == LEARNT_POINTS, "a learnt curve is held as the others are");

// Measured-looking curves of common lithium-ion chemistries: flat middles, steep ends
// (volts at 0, 5, ..., 100 % charge).
struct TypicalCurve {
  const char* name;
  double volts[21];
};
const TypicalCurve TYPICAL[] = {
    {"NMC", {3.00, 3.30, 3.45, 3.52, 3.57, 3.61, 3.64, 3.66, 3.68, 3.70, 3.73,
             3.76, 3.79, 3.83, 3.87, 3.91, 3.95, 4.00, 4.05, 4.11, 4.18}},
    {"LCO", {3.20, 3.55, 3.64, 3.68, 3.71, 3.73, 3.75, 3.77, 3.79, 3.81, 3.83,
             3.86, 3.89, 3.93, 3.97, 4.01, 4.05, 4.09, 4.13, 4.17, 4.20}},
    {"NCA", {3.00, 3.25, 3.38, 3.46, 3.52, 3.57, 3.61, 3.65, 3.69, 3.73, 3.77,
             3.81, 3.85, 3.89, 3.93, 3.97, 4.01, 4.05, 4.09, 4.13, 4.17}},
    {"LMO", {3.30, 3.60, 3.70, 3.74, 3.76, 3.78, 3.80, 3.82, 3.84, 3.86, 3.88,
             3.90, 3.92, 3.94, 3.97, 4.00, 4.03, 4.07, 4.11, 4.15, 4.20}},
    {"high-voltage", {3.00, 3.40, 3.52, 3.60, 3.65, 3.69, 3.72, 3.75, 3.78, 3.82, 3.86,
                      3.90, 3.94, 3.99, 4.04, 4.09, 4.14, 4.19, 4.24, 4.29, 4.35}},
};
// And a family of plain shapes from 3.0 V empty to 4.2 V full: a straight slope, a knee
// into empty of a given share of the span over a given share of the charge,
constexpr double KNEE_HEIGHTS[] = {0.15, 0.3, 0.45};
constexpr double KNEE_WIDTHS[] = {0.02, 0.04, 0.07};
// with or without a steeper fall out of full
constexpr double TOP_LIFTS[] = {0, 0.08};
constexpr double TOP_WIDTH = 0.06;

constexpr double RECENT_HOURS = 3;      // weight e^(u/3h): the last 3 hours count most
constexpr double PIVOT_VOLTS = 3.7;     // a curve is stretched about it
constexpr double SCALES[] = {0.85, 0.925, 1.0, 1.075, 1.15};
constexpr double SCALE_SPREAD = 0.1;
constexpr double DROP_FROM = -0.02, DROP_TO = 0.40, DROP_STEP = 0.01;  // volts
constexpr double DROP_TYPICAL = 0.10, DROP_SPREAD = 0.10;  // the load drop's prior
// A learnt curve is the cell's own under a load of its own: hardly stretched (a prior of
// +-3 % for its age, on the same grid of 7.5 % steps, so not at all unless the readings
// insist), and lowered or lifted by the change of the drop between the two loads.
constexpr double LEARNT_SCALE_SPREAD = 0.03;
constexpr double LEARNT_DROP_FROM = -0.20, LEARNT_DROP_TO = 0.20;
// It weighs as e^7 (about 1,100) typical curves where the fits are within the readings'
// noise: about fifty to one against their whole set of 23 when the readings fit all
// alike, the odds that a curve learnt from the model's earlier discharge is not this
// cell's being taken as one in fifty. Where the readings tell the curves apart, a learnt
// one that fits clearly worse gives way; where they cannot (a short log, a steady load), a
// wrong one (from a discharge whose load moved, or another battery under the model's
// name) takes the estimate with it. At six to one (e^5) the typical curves' share pulled
// the estimates of measured cells whose own earlier discharge was stored 11 % short of the
// truth (the typical curves alone fall short of those cells' times by half), for a median
// error of 0.101; at e^7, 0.060. Where the learnt curve is another cell's of the model
// (the made-up cells' backtest), the median error went from 0.174 to 0.177.
constexpr double LEARNT_PRIOR = 7;
// The least to learn a curve from, and how many readings make each of its points.
constexpr size_t LEARN_MIN_READINGS = 20;
constexpr double LEARN_MIN_HOURS = 1;
constexpr size_t LEARN_NEAREST = 5;
constexpr double LEARN_MIN_FALL_VOLTS = 0.1, LEARN_DIP_VOLTS = 0.005;
constexpr double MODEL_VOLTS = 0.015;   // no curve fits a real cell closer than this
constexpr double FLOOR_SIGMA = 0.20;    // what no curve of the set can show (log time)
constexpr double LOAD_HOURS = 12;       // the hours whose changes of load count
constexpr double LOAD_SIGMA_UNSEEN = 0.15;  // the load's change when the log is too short
constexpr double Z80 = 1.2815516;       // the normal's 90th percentile: 80 % two-sided
// The least to estimate from: two readings ten minutes apart, the log's longest step
// between lines (the curves' priors and the interval's floor carry what so few cannot show).
constexpr size_t MIN_READINGS = 2;
constexpr double MIN_SPAN_S = 10 * 60;
constexpr size_t MAX_POINTS = 60;       // readings are averaged into at most this many
constexpr double ENVELOPE_MIN_FALL_NOISE = 5;  // the lower envelope's least fall, in noises
// The drop that follows the load: the charge in pieces of about 45 minutes (at most 16),
constexpr double PIECE_HOURS = 0.75;
constexpr int MAX_PIECES = 16;
// the rate's change between pieces about 30 % of its mean (at least 0.3 % an hour),
constexpr double SLOPE_CHANGE = 0.3, MIN_RATE = 0.01;
// the drop's share that follows the rate (volts per fraction of charge an hour; about the
// resistance times the capacity) on a grid, its constant share with a prior of 0 +- 30 mV,
constexpr double RHOS[] = {0, 0.1, 0.2, 0.35, 0.5, 0.75, 1.0, 1.5};
constexpr double CONSTANT_FROM = -0.05, CONSTANT_TO = 0.10, CONSTANT_SPREAD = 0.03;
// the future load the mean rate of the last 3 hours, and the fit linearised twice.
constexpr double LOAD_MEAN_HOURS = 3;
constexpr int PASSES = 2;

std::vector<Curve> Curves() {
  std::vector<Curve> curves;
  for (const TypicalCurve& t : TYPICAL) {
    Curve c{};
    std::snprintf(c.name, sizeof c.name, "%s", t.name);
    for (int i = 0; i < CURVE_POINTS; i++) {
      const int j = std::min(19, i / 5);
      c.volts[i] = t.volts[j] + (t.volts[j + 1] - t.volts[j]) * (i - 5 * j) / 5.0;
    }
    curves.push_back(c);
  }
  for (double height : KNEE_HEIGHTS) {
    for (double width : KNEE_WIDTHS) {
      for (double lift : TOP_LIFTS) {
        Curve c{};
        std::snprintf(c.name, sizeof c.name, "sloped%s, %.2f V knee in %.0f %%",
                      lift > 0 ? " with a steep top" : "", height * 1.2, width * 100);
        auto shape = [&](double s) {
          return (1 - height - lift) * s + height * (1 - std::exp(-s / width)) +
                 lift * std::exp((s - 1) / TOP_WIDTH);
        };
        for (int i = 0; i < CURVE_POINTS; i++) {
          double s = static_cast<double>(i) / STEPS;
          c.volts[i] = 3.0 + 1.2 * (shape(s) - shape(0)) / (shape(1) - shape(0));
        }
        curves.push_back(c);
      }
    }
  }
  return curves;
}

// Open-circuit voltage at charge s (a fraction), straight beyond 0 and 1.
double Ocv(const Curve& c, double s) {
  double x = s * STEPS;
  int i = std::min(STEPS - 1, std::max(0, static_cast<int>(std::floor(x))));
  return c.volts[i] + (c.volts[i + 1] - c.volts[i]) * (x - i);
}

// The charge at open-circuit voltage v (the curve rises strictly).
double Charge(const Curve& c, double v) {
  int lo = 0, hi = STEPS - 1;  // the piece [lo, lo + 1] that holds v, or an end piece
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (v > c.volts[mid]) lo = mid; else hi = mid - 1;
  }
  return (lo + (v - c.volts[lo]) / (c.volts[lo + 1] - c.volts[lo])) / STEPS;
}

// A curve stretched by `scale` about PIVOT_VOLTS and lowered by the load drop.
struct Fitted {
  const Curve* curve;
  double scale = 1, drop = 0;
  double Volts(double s) const { return PIVOT_VOLTS + (Ocv(*curve, s) - PIVOT_VOLTS) * scale - drop; }
  double ChargeAt(double v) const { return Charge(*curve, (v + drop - PIVOT_VOLTS) / scale + PIVOT_VOLTS); }
};

// A learnt curve (one with a load of its own) and its priors: its log prior against a
// typical curve, and its stretch's prior in units of the noise's squares.
bool Learnt(const Curve& c) { return c.loadRate > 0; }
double CurvePrior(const Curve& c) { return Learnt(c) ? LEARNT_PRIOR : 0; }
double ScalePrior(const Fitted& shape) {
  const double spread = Learnt(*shape.curve) ? LEARNT_SCALE_SPREAD : SCALE_SPREAD;
  return (shape.scale - 1) * (shape.scale - 1) / (spread * spread);
}

struct Line {
  double a = 0, k = 0;  // s = a + k u, u in hours
  double varA = 0, varK = 0, cov = 0;
};

// Weighted least squares of y on u, the weights counting as `n` readings.
Line FitLine(const std::vector<double>& u, const std::vector<double>& y, const std::vector<double>& w) {
  double sw = 0, sww = 0;
  for (double x : w) sw += x, sww += x * x;
  const double n = sw * sw / sww;
  double mu = 0, my = 0;
  for (size_t i = 0; i < u.size(); i++) mu += w[i] * u[i] / sw, my += w[i] * y[i] / sw;
  double sxx = 0, sxy = 0;
  for (size_t i = 0; i < u.size(); i++) {
    sxx += w[i] * (u[i] - mu) * (u[i] - mu);
    sxy += w[i] * (u[i] - mu) * (y[i] - my);
  }
  Line line;
  line.k = sxx > 0 ? sxy / sxx : 0;
  line.a = my - line.k * mu;
  double ssr = 0;
  for (size_t i = 0; i < u.size(); i++) {
    double r = y[i] - line.a - line.k * u[i];
    ssr += w[i] * r * r;
  }
  // Variances as for n readings of the weighted spread.
  double s2 = n > 2 ? ssr / sw * n / (n - 2) : ssr / sw;
  double sxxN = sxx / sw * n;
  if (sxxN > 0) {
    line.varK = s2 / sxxN;
    line.varA = s2 * (1 / n + mu * mu / sxxN);
    line.cov = -mu * s2 / sxxN;
  }
  return line;
}

struct CurveFit {
  Fitted shape;
  Line line;
  double score = INFINITY;  // the fit's weighted squares in units of the noise, and priors
  double target = 0;        // the charge where the voltage shows 0 %
  double rho = 0;           // volts of drop per fraction of charge an hour
  bool falls = false;
  double hours = 0, logVar = 0;  // time left and its log variance from the fit
  // Every stretch and constant load drop tried on the curve, with its line and score: the
  // readings of a steady load hardly tell them apart, and the time left follows them.
  struct Tried {
    Fitted shape;
    Line line;
    double score;
  };
  std::vector<Tried> tried;
};

struct Points {
  std::vector<double> u, v, w;  // hours (0 at the last reading), volts, weights
  double effective = 0;         // the weights' effective count
};

CurveFit FitCurve(const Curve& c, const Points& p, double noise) {
  CurveFit best;
  std::vector<double> s(p.u.size());
  const double sigma2 = noise * noise + MODEL_VOLTS * MODEL_VOLTS;
  double sw = 0;
  for (double x : p.w) sw += x;
  const bool learnt = Learnt(c);
  const double dropTypical = learnt ? 0 : DROP_TYPICAL;
  for (double scale : SCALES) {
    for (double d = learnt ? LEARNT_DROP_FROM : DROP_FROM;
         d <= (learnt ? LEARNT_DROP_TO : DROP_TO) + 1e-9; d += DROP_STEP) {
      Fitted shape{&c, scale, d};
      for (size_t i = 0; i < p.u.size(); i++) s[i] = shape.ChargeAt(p.v[i]);
      Line line = FitLine(p.u, s, p.w);
      double sse = 0;
      for (size_t i = 0; i < p.u.size(); i++) {
        double r = shape.Volts(line.a + line.k * p.u[i]) - p.v[i];
        sse += p.w[i] * r * r;
      }
      double score = sse / sw * p.effective / sigma2 +
                     (d - dropTypical) * (d - dropTypical) / (DROP_SPREAD * DROP_SPREAD) +
                     ScalePrior(shape);
      best.tried.push_back({shape, line, score});
      if (score < best.score) {
        best.shape = shape;
        best.line = line;
        best.score = score;
      }
    }
  }
  return best;
}

// The charge as a continuous broken line through knots evenly spaced over the readings,
// and the load drop following the rate of its fall: on a piece whose charge falls at r
// (a fraction an hour) the drop is  c + rho * r.  A load that steps or swings moves the
// voltage by the drop's change, which a constant drop would take for a change of charge.
// The load to come is the mean rate rbar of the last LOAD_MEAN_HOURS.
struct Pieces {
  double from = 0, width = 1;  // hours: the first knot, and the pieces' length
  int count = 1;
  double meanHours = 1;        // the mean rate is over these last hours
  // The piece at u, and how far along it (0 to 1).
  int At(double u, double* along) const {
    double x = (u - from) / width;
    int j = std::min(count - 1, std::max(0, static_cast<int>(std::floor(x))));
    *along = x - j;
    return j;
  }
};

Pieces MakePieces(const Points& p) {
  Pieces k;
  const double span = -p.u.front();
  k.count = std::min(MAX_PIECES, std::max(1, static_cast<int>(std::lround(span / PIECE_HOURS))));
  k.from = p.u.front();
  k.width = span / k.count;
  k.meanHours = std::min(LOAD_MEAN_HOURS, span);
  return k;
}

// Solves the symmetric positive matrix `a` (n by n, no entry further than `band` from the
// diagonal) for each right side in `b` (Cholesky). The factor keeps the band, so what lies
// outside it is never touched: the broken line's matrix is five-diagonal, and a full
// factorisation of it cost most of the estimate's time.
bool Solve(std::vector<double> a, int n, int band, std::vector<std::vector<double>*> rhs) {
  for (int j = 0; j < n; j++) {
    const int first = std::max(0, j - band);
    double d = a[j * n + j];
    for (int k = first; k < j; k++) d -= a[j * n + k] * a[j * n + k];
    if (!(d > 0)) return false;
    a[j * n + j] = std::sqrt(d);
    for (int i = j + 1; i < std::min(n, j + band + 1); i++) {
      double x = a[i * n + j];
      for (int k = std::max(0, i - band); k < j; k++) x -= a[i * n + k] * a[j * n + k];
      a[i * n + j] = x / a[j * n + j];
    }
  }
  for (std::vector<double>* b : rhs) {
    std::vector<double>& x = *b;
    for (int i = 0; i < n; i++) {
      for (int k = std::max(0, i - band); k < i; k++) x[i] -= a[i * n + k] * x[k];
      x[i] /= a[i * n + i];
    }
    for (int i = n; i-- > 0;) {
      for (int k = i + 1; k < std::min(n, i + band + 1); k++) x[i] -= a[k * n + i] * x[k];
      x[i] /= a[i * n + i];
    }
  }
  return true;
}

// The broken line's knots for one curve and load drop  c + rho * r:  least squares of the
// voltages, linearised about the drops of the last pass (the first from the rate `rate0`),
// the changes of rate between pieces held to about `slopeChange` an hour. Fills `out`
// with the charge now and the mean rate (k = -rbar) and their variances; returns the score.
double FitPieces(const Fitted& shape, double c, double rho, double rate0, const Pieces& pk,
                 const Points& p, double sigma2, double slopeChange, Line* out) {
  const int n = pk.count + 1;
  const size_t m = p.u.size();
  std::vector<double> theta(n, 0), drops(m, c + rho * rate0), mean(n, 0), a(n * n), b(n);
  // rbar = (s(-H) - s(0)) / H as a combination of the knots.
  {
    double along;
    int j = pk.At(-pk.meanHours, &along);
    mean[j] += (1 - along) / pk.meanHours;
    mean[j + 1] += along / pk.meanHours;
    mean[n - 1] -= 1 / pk.meanHours;
  }
  double sw = 0;
  for (double x : p.w) sw += x;
  const double unit = p.effective / sw / sigma2;
  double score = INFINITY;
  std::vector<double> e0(n, 0), em(mean);
  for (int pass = 0; pass < PASSES; pass++) {
    std::fill(a.begin(), a.end(), 0.0);
    std::fill(b.begin(), b.end(), 0.0);
    for (size_t i = 0; i < m; i++) {
      double along;
      int j = pk.At(p.u[i], &along);
      Fitted at = shape;
      at.drop = drops[i];
      const double y = at.ChargeAt(p.v[i]);
      const double g = (at.ChargeAt(p.v[i] + 0.001) - at.ChargeAt(p.v[i] - 0.001)) / 0.002;
      // s_i - g rho r_i = y + g (c - drop_i),  r_i = -(theta[j+1] - theta[j]) / width:
      // a row whose only entries are at knots j and j + 1.
      const double row[2] = {1 - along - g * rho / pk.width, along + g * rho / pk.width};
      const double target = y + g * (c - drops[i]);
      const double w = p.w[i] * unit / (g * g);
      for (int r = 0; r < 2; r++) {
        b[j + r] += w * row[r] * target;
        for (int q = 0; q < 2; q++) a[(j + r) * n + j + q] += w * row[r] * row[q];
      }
    }
    // The changes of slope between pieces.
    const double pw = 1 / (slopeChange * slopeChange * pk.width * pk.width);
    for (int j = 1; j + 1 < n; j++) {
      const int idx[3] = {j - 1, j, j + 1};
      const double k2[3] = {1, -2, 1};
      for (int r = 0; r < 3; r++)
        for (int q = 0; q < 3; q++) a[idx[r] * n + idx[q]] += pw * k2[r] * k2[q];
    }
    for (int k = 0; k < n; k++) a[k * n + k] += 1e-9;
    theta = b;
    e0.assign(n, 0);
    e0[n - 1] = 1;
    em = mean;
    if (!Solve(a, n, 2, {&theta, &e0, &em})) return INFINITY;
    double rbar = 0;
    for (int k = 0; k < n; k++) rbar += mean[k] * theta[k];
    // The drops for the next pass, and the score in volts.
    double sse = 0, penalty = 0;
    for (size_t i = 0; i < m; i++) {
      double along;
      int j = pk.At(p.u[i], &along);
      double s = theta[j] * (1 - along) + theta[j + 1] * along;
      drops[i] = c + rho * -(theta[j + 1] - theta[j]) / pk.width;
      Fitted at = shape;
      at.drop = drops[i];
      double r = at.Volts(s) - p.v[i];
      sse += p.w[i] * r * r;
    }
    for (int j = 1; j + 1 < n; j++) {
      double k2 = (theta[j + 1] - 2 * theta[j] + theta[j - 1]) / pk.width;
      penalty += k2 * k2 / (slopeChange * slopeChange);
    }
    score = sse * unit + penalty;
    const double misfit = std::max(1.0, sse * unit / std::max(1.0, p.effective - 2));
    out->a = theta[n - 1];
    out->k = -rbar;
    out->varA = e0[n - 1] * misfit;
    double varR = 0;
    for (int k = 0; k < n; k++) varR += mean[k] * em[k];
    out->varK = varR * misfit;
    out->cov = -em[n - 1] * misfit;
  }
  return score;
}

// For one curve fitted with a constant drop, the drop that follows the load: rho and the
// constant c on grids with priors, the curve's stretch kept.
void FitRate(CurveFit* fit, const Points& p, double noise) {
  const Pieces pk = MakePieces(p);
  const double sigma2 = noise * noise + MODEL_VOLTS * MODEL_VOLTS;
  const double rate0 = std::max(-fit->line.k, 0.0);
  const double slopeChange = SLOPE_CHANGE * std::max(rate0, MIN_RATE);
  const double loadRate = fit->shape.curve->loadRate;
  CurveFit best = *fit;
  best.score = INFINITY;
  for (double rho : RHOS) {
    for (double c = CONSTANT_FROM; c <= CONSTANT_TO + 1e-9; c += DROP_STEP) {
      // A learnt curve has its own load's drop in it: the drop is the change from that.
      const double constant = c - rho * loadRate;
      Line line;
      double score = FitPieces(fit->shape, constant, rho, rate0, pk, p, sigma2, slopeChange, &line);
      score += c * c / (CONSTANT_SPREAD * CONSTANT_SPREAD) + ScalePrior(fit->shape);
      if (score < best.score) {
        best.line = line;
        best.shape.drop = constant + rho * std::max(-line.k, 0.0);
        best.score = score;
        best.rho = rho;
      }
    }
  }
  if (best.score < INFINITY) *fit = best;
}

// When the line `l` brings the charge to where `shape` reads `targetVolts`: false where
// it does not fall, or falls too slowly to matter; else the hours and their log variance.
bool Projected(const Fitted& shape, const Line& l, double targetVolts, double* hours,
               double* logVar) {
  const double remaining = l.a - shape.ChargeAt(targetVolts);
  *logVar = 0;
  if (!(l.k < 0)) return false;
  if (!(remaining > 0)) {
    *hours = 1.0 / 60;  // at 0 % already by the fitted line: within its last minute
    return true;
  }
  *hours = remaining / -l.k;
  if (!(*hours * 3600 < ESTIMATE_MAX_SECONDS)) return false;  // a slope too small to matter
  // Delta method on T = (a - target) / -k.
  const double dA = 1 / -l.k, dK = remaining / (l.k * l.k);
  const double var = dA * dA * l.varA + dK * dK * l.varK + 2 * dA * dK * l.cov;
  *logVar = std::max(0.0, var) / (*hours * *hours);
  return true;
}

// The curve's time left to `targetVolts`, and its log variance: the fit's own, and the
// spread of the time left over the stretches and drops tried, weighed by how well each
// fits (its scores counting for less by `misfit`), for the readings leave them open.
void Project(CurveFit* fit, double targetVolts, double misfit) {
  fit->target = fit->shape.ChargeAt(targetVolts);
  fit->falls = Projected(fit->shape, fit->line, targetVolts, &fit->hours, &fit->logVar);
  if (!fit->falls) return;
  double least = INFINITY;
  for (const CurveFit::Tried& d : fit->tried) least = std::min(least, d.score);
  double total = 0, meanLog = 0, meanSquare = 0;
  for (const CurveFit::Tried& d : fit->tried) {
    double hours, logVar;
    if (!Projected(d.shape, d.line, targetVolts, &hours, &logVar)) continue;
    const double w = std::exp(-0.5 * (d.score - least) / misfit);
    total += w;
    meanLog += w * std::log(hours);
    meanSquare += w * std::log(hours) * std::log(hours);
  }
  if (!(total > 0)) return;
  meanLog /= total;
  fit->logVar += std::max(0.0, meanSquare / total - meanLog * meanLog);
}

// How far the readings stray from the fitted curve beyond their noise over the last
// hours (volts, root mean square): a load that changes moves the voltage with it.
double LoadWobble(const CurveFit& fit, const std::vector<Sample>& samples, double noise) {
  double sum = 0;
  size_t n = 0;
  const double last = samples.back().seconds;
  for (const Sample& x : samples) {
    double u = (x.seconds - last) / 3600;
    if (u < -RECENT_HOURS) continue;
    double r = x.volts - fit.shape.Volts(fit.line.a + fit.line.k * u);
    sum += r * r;
    n++;
  }
  return std::sqrt(std::max(0.0, sum / static_cast<double>(n) - noise * noise));
}

// The readings' noise: from second differences, which a steady trend does not touch.
double NoiseVolts(const std::vector<Sample>& samples) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = 1; i + 1 < samples.size(); i++) {
    double d2 = samples[i + 1].volts - 2 * samples[i].volts + samples[i - 1].volts;
    sum += d2 * d2 / 6;
    n++;
  }
  double sigma = n > 0 ? std::sqrt(sum / static_cast<double>(n)) : 0.005;
  return std::min(0.02, std::max(0.001, sigma));
}

// The readings averaged over equal stretches of time, at most MAX_POINTS of them.
Points Bin(const std::vector<Sample>& samples) {
  Points p;
  const double last = samples.back().seconds, span = last - samples.front().seconds;
  const double width = span / MAX_POINTS;
  double su = 0, sv = 0;
  int n = 0;
  for (size_t i = samples.size(); i-- > 0;) {
    su += (samples[i].seconds - last) / 3600;
    sv += samples[i].volts;
    n++;
    bool close = i == 0 || (last - samples[i - 1].seconds) > width * static_cast<double>(p.u.size() + 1);
    if (!close) continue;
    p.u.insert(p.u.begin(), su / n);
    p.v.insert(p.v.begin(), sv / n);
    p.w.insert(p.w.begin(), n * std::exp(su / n / RECENT_HOURS));
    su = sv = 0;
    n = 0;
  }
  double sw = 0, sww = 0;
  for (double x : p.w) sw += x, sww += x * x;
  p.effective = sw * sw / sww;
  return p;
}

// How much the fall of the charge changed between the last hours of the log, as a log ratio.
double LoadSigma(const CurveFit& fit, const std::vector<Sample>& samples) {
  double sum = 0;
  int chunks = 0;
  const double last = samples.back().seconds;
  const double from = std::max((samples.front().seconds - last) / 3600, -LOAD_HOURS);
  for (double end = 0; end > from + 0.75; end -= 1) {
    std::vector<double> cu, cs, cw;
    for (const Sample& x : samples) {
      double u = (x.seconds - last) / 3600;
      if (u <= end && u > end - 1) {
        cu.push_back(u);
        cs.push_back(fit.shape.ChargeAt(x.volts));
        cw.push_back(1);
      }
    }
    if (cu.size() < 3 || cu.back() - cu.front() < 0.5) continue;
    double k = FitLine(cu, cs, cw).k;
    double ratio = std::min(3.0, std::max(1 / 3.0, k / fit.line.k));
    sum += std::log(ratio) * std::log(ratio);
    chunks++;
  }
  if (chunks < 2) return LOAD_SIGMA_UNSEEN;
  return std::sqrt(sum / chunks);
}

// The estimate from `samples` (the log's readings, or their lower envelope), whose noise
// is `noise`.
TimeLeft Estimate(const EstimateInput& input, const std::vector<Sample>& samples, double noise) {
  TimeLeft result;
  const double span = input.voltsMax - input.voltsMin;
  const Points points = Bin(samples);
  // The filter keeps the lowest reading, so 0 % shows once the noise dips below 1 %.
  const double target = input.voltsMin + 0.01 * span + 2 * noise;

  static const std::vector<Curve> typical = Curves();
  std::vector<Curve> curves(typical);
  if (input.learnt.known) {
    Curve learnt{};
    std::snprintf(learnt.name, sizeof learnt.name, "learnt");
    std::copy(std::begin(input.learnt.volts), std::end(input.learnt.volts), learnt.volts);
    learnt.loadRate = 1 / input.learnt.hours;
    curves.push_back(learnt);
  }
  std::vector<CurveFit> fits;
  for (const Curve& c : curves) {
    fits.push_back(FitCurve(c, points, noise));
    FitRate(&fits.back(), points, noise);
  }
  // The curves weigh by how well they fit and by their priors.
  auto against = [](const CurveFit& f) { return f.score - 2 * CurvePrior(*f.shape.curve); };
  const CurveFit* best = &fits.front();
  for (const CurveFit& f : fits) {
    if (against(f) < against(*best)) best = &f;
  }
  const double wobble = LoadWobble(*best, samples, noise);
  // Where even the best curve fits worse than the noise, the differences count for less.
  const double misfit = std::max(1.0, best->score / std::max(1.0, points.effective - 2));
  for (CurveFit& f : fits) Project(&f, target, misfit);
  double total = 0, falling = 0, meanLog = 0, fitVar = 0;
  std::vector<double> weight;
  for (const CurveFit& f : fits) {
    weight.push_back(std::exp(-0.5 * (against(f) - against(*best)) / misfit));
    total += weight.back();
    if (!f.falls) continue;
    falling += weight.back();
    meanLog += weight.back() * std::log(f.hours);
    fitVar += weight.back() * f.logVar;
  }
  if (!best->falls || falling < 0.5 * total) {
    result.whyNot = "the voltage does not fall by an amount that matters";
    return result;
  }
  meanLog /= falling;
  fitVar /= falling;
  double curveVar = 0;
  for (size_t i = 0; i < fits.size(); i++) {
    if (!fits[i].falls) continue;
    double e = std::log(fits[i].hours) - meanLog;
    curveVar += weight[i] * e * e;
  }
  curveVar /= falling;
  // The wobble as a share of the voltage still to fall, by the closest curve.
  const double toFall = std::max(best->shape.Volts(best->line.a) - target, 0.01);
  const double level = wobble / toFall;
  const double load = std::sqrt(LoadSigma(*best, samples) * LoadSigma(*best, samples) + level * level);
  const double sigma = std::sqrt(curveVar + fitVar + load * load + FLOOR_SIGMA * FLOOR_SIGMA);
  // Which curve the cell has, the readings seldom tell: the interval also takes in the
  // times that some curve, with its fit, keeps within the likelihood ratio of the level
  // (Z80 squared, the chi-square's 80th percentile), the curve not being known. A curve
  // whose score is worse than the best's by `worse` (in the noise's units) holds its own
  // interval narrowed to sqrt(Z80^2 - worse) of its deviations, none beyond Z80^2.
  double low = meanLog - Z80 * sigma, high = meanLog + Z80 * sigma;
  for (const CurveFit& f : fits) {
    const double worse = (against(f) - against(*best)) / misfit;
    if (!f.falls || worse > Z80 * Z80) continue;
    const double var = f.logVar + load * load + FLOOR_SIGMA * FLOOR_SIGMA;
    const double own = std::sqrt((Z80 * Z80 - worse) * var);
    low = std::min(low, std::log(f.hours) - own);
    high = std::max(high, std::log(f.hours) + own);
  }

  auto clamp = [](double logHours) { return std::min(ESTIMATE_MAX_SECONDS, std::exp(logHours) * 3600); };
  result.known = true;
  result.seconds = clamp(meanLog);
  result.low = clamp(low);
  result.high = clamp(high);
  result.chargePerHour = best->line.k * 100;

  const bool learnt = Learnt(*best->shape.curve);
  char drop[64];
  const double millivolts = std::round(best->shape.drop * 1000) + 0.0;  // never "-0"
  std::snprintf(drop, sizeof drop, learnt ? "%+.0f mV from that discharge's" : "%.0f mV",
                millivolts);
  char loadText[240];
  std::snprintf(loadText, sizeof loadText,
                "load as in the last %.1f h (%.1f %% of %s an hour), load drop %s at it, "
                "%.1f mV more for each %% an hour more",
                std::min(-points.u.front(), LOAD_MEAN_HOURS), -best->line.k * 100,
                learnt ? "that discharge's charge" : "charge", drop, best->rho * 10);
  char curve[160];
  if (learnt) {
    std::snprintf(curve, sizeof curve,
                  "assumed: the learnt curve (a discharge of %.1f h, its time taken as its charge)",
                  input.learnt.hours);
  } else {
    std::snprintf(curve, sizeof curve, "assumed: lithium-ion curve %s (closest of %zu)%s",
                  best->shape.curve->name, typical.size(),
                  input.learnt.known ? ", for the learnt curve fits worse" : "");
  }
  result.assumptions = curve;
  result.assumptions += std::string(", ") + loadText;

  // The path: the closest curve's voltage as its charge falls to 0 % at the estimate, and
  // the band as it would at the ends of the interval.
  auto percentAt = [&](double seconds, double endSeconds) {
    if (endSeconds <= 0 || seconds >= endSeconds) return 0.0;  // 0 % from its end on
    double s = best->line.a + (best->target - best->line.a) * seconds / endSeconds;
    return std::min(100.0, std::max(0.0, (best->shape.Volts(s) - input.voltsMin) / span * 100));
  };
  const int steps = 60;
  std::vector<double> times = {result.low, result.seconds};
  for (int i = 0; i <= steps; i++) times.push_back(result.high * i / steps);
  std::sort(times.begin(), times.end());
  for (double t : times) {
    result.path.push_back({t, percentAt(t, result.seconds), percentAt(t, result.low),
                           percentAt(t, result.high)});
  }
  return result;
}

}  // namespace

LearntCurve LearnCurve(const std::vector<Sample>& discharge) {
  LearntCurve learnt;
  if (discharge.size() < LEARN_MIN_READINGS) return learnt;
  const double start = discharge.front().seconds, end = discharge.back().seconds;
  const double hours = (end - start) / 3600;
  if (!(hours >= LEARN_MIN_HOURS)) return learnt;
  // Each reading's share of the time, 0 at the end. Its readings spread over its time:
  // each tenth of it holds one.
  std::vector<double> share;
  std::vector<bool> tenths(10, false);
  for (const Sample& x : discharge) {
    share.push_back((end - x.seconds) / (end - start));
    tenths[static_cast<size_t>(std::min(9.0, std::max(0.0, share.back() * 10)))] = true;
  }
  if (std::count(tenths.begin(), tenths.end(), false) > 0) return learnt;
  // The voltage at each 1 % is a straight line through the readings nearest it (at least
  // LEARN_NEAREST of them, within 0.5 % of the time where the lines are that close), which
  // takes out the noise but not the knee.
  for (int k = 0; k < LEARNT_POINTS; k++) {
    const double at = static_cast<double>(k) / (LEARNT_POINTS - 1);
    double width = 0.005;
    std::vector<double> u, v, w;
    for (;;) {
      u.clear(), v.clear(), w.clear();
      for (size_t i = 0; i < discharge.size(); i++) {
        if (std::fabs(share[i] - at) > width) continue;
        u.push_back(share[i] - at);
        v.push_back(discharge[i].volts);
        w.push_back(1);
      }
      if (u.size() >= LEARN_NEAREST || width > 1) break;
      width *= 1.5;
    }
    // Within the readings it was drawn through: a line through readings bunched at one
    // side of the point must not reach beyond them.
    learnt.volts[k] = std::min(*std::max_element(v.begin(), v.end()),
                               std::max(*std::min_element(v.begin(), v.end()), FitLine(u, v, w).a));
  }
  // A discharge falls: by LEARN_MIN_FALL_VOLTS at least from its start to its end, and the
  // curve rises with the charge everywhere. Noise may make it dip a little here and there,
  // which is smoothed over; a curve that falls back by more, in more than a tenth of its
  // points, is no steady discharge's (a load that moved, or readings of something else).
  if (!(learnt.volts[LEARNT_POINTS - 1] - learnt.volts[0] >= LEARN_MIN_FALL_VOLTS)) return learnt;
  int raised = 0;
  for (int k = 1; k < LEARNT_POINTS; k++) {
    const double least = learnt.volts[k - 1] + 1e-5;
    if (learnt.volts[k] < least - LEARN_DIP_VOLTS) raised++;
    learnt.volts[k] = std::max(learnt.volts[k], least);
  }
  if (raised > LEARNT_POINTS / 10) return learnt;
  learnt.hours = hours;
  learnt.known = true;
  return learnt;
}

TimeLeft EstimateTimeLeft(const EstimateInput& input) {
  TimeLeft result;
  const std::vector<Sample>& samples = input.samples;
  if (samples.size() < MIN_READINGS || samples.back().seconds - samples.front().seconds < MIN_SPAN_S) {
    result.whyNot = "less than 10 minutes of falling percentage, or fewer than 2 readings";
    return result;
  }
  if (!(input.voltsMax > input.voltsMin)) {
    result.whyNot = "the log's maximum voltage is not above its minimum";
    return result;
  }
  const double noise = NoiseVolts(samples);
  result = Estimate(input, samples, noise);
  if (result.known) return result;
  // The percentage fell, yet the readings show no fall of charge: a load that eased lifted
  // the voltage (its drop shrank), or one that rose at the very end dropped it by more than
  // the fits can follow. The filter shows the lowest reading so far, so the estimate is
  // made from that lower envelope, as the percentage saw it.
  std::vector<Sample> lowest(samples);
  for (size_t i = 1; i < lowest.size(); i++) {
    lowest[i].volts = std::min(lowest[i].volts, lowest[i - 1].volts);
  }
  // Noise alone lowers a running minimum by a few times its spread: the envelope must fall
  // by more than that, and by more than 1 % of the span.
  const double fall = lowest.front().volts - lowest.back().volts;
  const double least =
      std::max(ENVELOPE_MIN_FALL_NOISE * noise, 0.01 * (input.voltsMax - input.voltsMin));
  if (!(fall > least)) return result;
  TimeLeft envelope = Estimate(input, lowest, noise);
  if (!envelope.known) return result;
  envelope.assumptions += ", from the lowest reading so far at each line (the readings did not fall)";
  return envelope;
}

}  // namespace report
