#include "tools/report/backtest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>

#include "tools/report/analysis.h"
#include "tools/report/curve_store.h"
#include "tools/report/simulated_log.h"

namespace report {
namespace {

const int CUT_PERCENTS[] = {80, 60, 40, 30, 20, 10};
constexpr double SAMPLE_S = 0.5;      // the monitor's pass
constexpr double MAX_HOURS = 60;

// A small generator of its own, so that the cells are the same on every platform.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  double Uniform() {  // [0, 1)
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }
  double Between(double a, double b) { return a + (b - a) * Uniform(); }
  double Gauss() {
    double u1 = std::max(1e-12, Uniform()), u2 = Uniform();
    return std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  uint64_t state_;
};

// The bench's simulated cell: its open-circuit voltage every 10 % of charge (volts), as
// the bench has it, with its load, resistance, capacity and limits.
constexpr double BENCH_CURVE[11] = {3.40, 3.62, 3.69, 3.74, 3.78, 3.82,
                                    3.87, 3.93, 4.00, 4.09, 4.20};
constexpr double BENCH_CAPACITY_AH = 2.0, BENCH_LOAD_A = 0.2, BENCH_RESISTANCE = 0.1;

struct Cell {
  // Open-circuit curve: shape g(s), 0 at s = 0 and 1 at s = 1, between empty and full volts.
  CellFamily family;
  double p[5];
  double emptyVolts, fullVolts;
  double capacityAh, resistance, noiseVolts;
  int load;  // 0 constant, 1 stepped, 2 varying
  double current1, current2, stepHours, periodHours;
  double phase;  // how far through its cycle a stepped or varying load is at the start (0 to 1)
  double startCharge;
  bool microvolts;
  double voltsMax, voltsMin;

  double Shape(double s) const {
    if (family == CellFamily::Design) {
      // A slope, a steep rise out of empty and a lift near full.
      return p[0] * s + p[1] * (1 - std::exp(-s / p[2])) + p[3] * std::exp((s - 1) / p[4]);
    }
    // Logarithms at both ends and a straight middle.
    double x = std::min(1.0, std::max(0.0, s));
    return p[0] * x + p[1] * std::log((x + p[2]) / p[2]) - p[3] * std::log((1 + p[4] - x) / p[4]);
  }
  double Ocv(double s) const {
    if (family == CellFamily::Bench) {  // straight between the points and beyond the ends
      int i = std::min(9, std::max(0, static_cast<int>(std::floor(s * 10))));
      return BENCH_CURVE[i] + (BENCH_CURVE[i + 1] - BENCH_CURVE[i]) * (s * 10 - i);
    }
    double g0 = Shape(0), g1 = Shape(1);
    return emptyVolts + (fullVolts - emptyVolts) * (Shape(s) - g0) / (g1 - g0);
  }
  double Current(double hours, Random* random) const {
    switch (load) {
      case 0: return current1;
      case 1: return static_cast<int>(hours / stepHours + 2 * phase) % 2 == 0 ? current1 : current2;
      default:
        return current1 * (1 + 0.35 * std::sin(6.283185307179586 * (hours / periodHours + phase))) *
               (1 + 0.2 * (random->Uniform() - 0.5));
    }
  }
  const char* LoadName() const {
    static const char* const LOADS[] = {"constant", "stepped", "varying"};
    return LOADS[load];
  }
  std::string Describe() const {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%.2f Ah, %s %.0f/%.0f mA, %.2f ohm, noise %.1f mV, %.2f..%.2f V in %s, "
                  "from %.0f %%",
                  capacityAh, LoadName(), current1 * 1000, current2 * 1000, resistance,
                  noiseVolts * 1000, voltsMin, voltsMax, microvolts ? "µV" : "mV",
                  startCharge * 100);
    return text;
  }
};

Cell MakeCell(CellFamily family, Random* r) {
  Cell c{};
  c.family = family;
  if (family == CellFamily::Design) {
    c.p[0] = r->Between(0.35, 0.75);
    c.p[1] = r->Between(0.15, 0.45);
    c.p[2] = r->Between(0.02, 0.08);
    c.p[3] = r->Between(0.0, 0.12);
    c.p[4] = r->Between(0.03, 0.10);
  } else if (family == CellFamily::HeldOut) {
    c.p[0] = r->Between(0.3, 0.8);
    c.p[1] = r->Between(0.03, 0.10);
    c.p[2] = r->Between(0.005, 0.03);
    c.p[3] = r->Between(0.0, 0.05);
    c.p[4] = r->Between(0.01, 0.05);
  }
  c.emptyVolts = r->Between(2.8, 3.2);
  c.fullVolts = r->Between(4.1, 4.35);
  if (family == CellFamily::Bench) {
    c.emptyVolts = BENCH_CURVE[0];
    c.fullVolts = BENCH_CURVE[10];
  }
  c.capacityAh = r->Between(1.2, 3.5);
  c.resistance = r->Between(0.05, 0.4);
  c.noiseVolts = r->Between(0.002, 0.005);
  c.load = static_cast<int>(r->Uniform() * 3);
  c.current1 = r->Between(0.08, 0.6);
  c.current2 = c.load == 1 ? r->Between(0.08, 0.6) : c.current1;
  c.stepHours = r->Between(1, 3);
  c.periodHours = r->Between(2, 8);
  c.phase = r->Uniform();
  c.startCharge = r->Uniform() < 0.5 ? 1.0 : r->Between(0.35, 0.9);
  c.microvolts = r->Uniform() < 0.5;
  c.voltsMax = c.fullVolts + r->Between(0.02, 0.15);
  const double mins[] = {3.0, 3.2, 3.3, 3.4, 3.5};
  if (family == CellFamily::Bench) {
    // As on the bench, the minimum may be at the curve's empty end or near it.
    c.voltsMax = c.fullVolts + r->Between(0.0, 0.15);
    c.voltsMin = mins[2 + static_cast<int>(r->Uniform() * 3)];
    return c;
  }
  do {
    c.voltsMin = mins[static_cast<int>(r->Uniform() * 5)];
  } while (c.voltsMin < c.emptyVolts + 0.05);
  return c;
}

// The bench's own cell as the bench runs it: constant load, no noise, µV, its limits.
Cell BenchCell(double startCharge) {
  Cell c{};
  c.family = CellFamily::Bench;
  c.emptyVolts = c.voltsMin = BENCH_CURVE[0];
  c.fullVolts = c.voltsMax = BENCH_CURVE[10];
  c.capacityAh = BENCH_CAPACITY_AH;
  c.resistance = BENCH_RESISTANCE;
  c.load = 0;
  c.current1 = c.current2 = BENCH_LOAD_A;
  c.startCharge = startCharge;
  c.microvolts = true;
  return c;
}

struct Discharge {
  std::vector<Reading> lines;
  std::vector<double> charges;  // the cell's charge at each line
  double zeroCharge = 0;
  double zeroSeconds = -1;  // when the filtered percentage first read 0
};

struct Limits {
  double voltsMax, voltsMin;
  bool microvolts;
};

// The monitor and the log, reading by reading, until the filtered percentage reads 0; with
// `logEmpty`, that reading is logged too (the terminal runs on at 0 %). `cell(t, &volts,
// &charge)` gives the reading at t seconds and the cell's charge then, or false when the
// cell has no more to give.
Discharge Monitor(const Limits& limits, const std::function<bool(double, double*, double*)>& cell,
                  Seconds start, bool logEmpty) {
  Discharge d;
  const double unit = limits.microvolts ? 1e6 : 1e3;
  const int32_t vMax = static_cast<int32_t>(std::lround(limits.voltsMax * unit));
  const int32_t vMin = static_cast<int32_t>(std::lround(limits.voltsMin * unit));
  Reading state;
  state.voltageMax = vMax;
  state.voltageMin = vMin;
  int lastLevel = 100;
  bool onBatteryBefore = false;
  double lastLog = -1e9, volts = 0, charge = 0;
  for (double t = 0; t < MAX_HOURS * 3600 && cell(t, &volts, &charge); t += SAMPLE_S) {
    int32_t v = static_cast<int32_t>(std::lround(volts * unit));
    state.voltageNow = v;
    int percent = 0;
    if (v != 0 && vMin <= v && v <= vMax) {
      percent = static_cast<int>((static_cast<int64_t>(v) - vMin) * 100 / (vMax - vMin));
      state.linearPercent = percent;
      if (onBatteryBefore && percent > lastLevel) percent = lastLevel;
      state.filteredPercent = percent;
    }
    onBatteryBefore = true;
    lastLevel = percent;
    if (v < vMin || (v <= vMax && state.filteredPercent == 0)) {
      if (logEmpty) {
        state.time = start + static_cast<Seconds>(t);
        state.filteredPercent = 0;
        d.lines.push_back(state);
        d.charges.push_back(charge);
      }
      d.zeroSeconds = t;
      d.zeroCharge = charge;
      return d;
    }
    bool due = t - lastLog > 600 || (state.filteredPercent <= 40 && t - lastLog > 60);
    if (due) {
      state.time = start + static_cast<Seconds>(t);
      d.lines.push_back(state);
      d.charges.push_back(charge);
      lastLog = t;
    }
  }
  return d;
}

// A made-up cell under its load, as the monitor reads it.
Discharge Run(const Cell& c, Random* r, Seconds start, bool logEmpty = false) {
  double charge = c.startCharge;
  auto cell = [&](double t, double* volts, double* now) {
    if (charge < -0.05) return false;  // a cell that never shows 0 %: not used
    const double current = c.Current(t / 3600, r);
    *volts = c.Ocv(charge) - current * c.resistance + c.noiseVolts * r->Gauss();
    *now = charge;
    charge -= current * SAMPLE_S / 3600 / c.capacityAh;
    return true;
  };
  return Monitor({c.voltsMax, c.voltsMin, c.microvolts}, cell, start, logEmpty);
}

// What an estimate would say that knew the cell's charge, where it reads 0 %, and its
// mean load over the last `hours` of the log (all of it if it is shorter): the part of
// the error that only the future load makes.
double Informed(const Discharge& d, size_t j, double hours) {
  size_t k = j;
  while (k > 0 && static_cast<double>(d.lines[j].time - d.lines[k - 1].time) <= hours * 3600) k--;
  double seconds = static_cast<double>(d.lines[j].time - d.lines[k].time);
  double rate = seconds > 0 ? (d.charges[k] - d.charges[j]) / seconds : 0;
  return rate > 0 ? (d.charges[j] - d.zeroCharge) / rate : 0;
}

double Infinite() { return std::numeric_limits<double>::infinity(); }

// A reference's error; one that could not say (no fall seen) counts as infinite.
double RelativeError(double estimate, double truth) {
  return estimate > 0 ? std::fabs(estimate - truth) / truth : Infinite();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

const Seconds START = ToSeconds({2026, 3, 2, 8, 0, 0});

// The cuts of a log that began at `start`, at the first line that shows each of `percents`
// or less: `base` with the cut's level, truth and references, handed to `estimate` with
// the log as uploaded at that line, its first j + 1 lines.
void CutLog(const Discharge& d, Seconds start, const std::vector<int>& percents, const Cut& base,
            const std::function<void(const std::string& upload, size_t j, Cut cut)>& estimate) {
  const std::string text = LogText(d.lines);
  size_t firstDrop = d.lines.size();
  for (size_t i = 1; i < d.lines.size() && firstDrop == d.lines.size(); i++) {
    if (d.lines[i].filteredPercent < d.lines[0].filteredPercent) firstDrop = i;
  }
  for (int percent : percents) {
    if (d.lines[0].filteredPercent <= percent) continue;
    size_t j = 0;
    while (j < d.lines.size() && d.lines[j].filteredPercent > percent) j++;
    if (j == d.lines.size() || d.lines[j].filteredPercent == 0) continue;
    size_t bytes = 0;
    for (size_t i = 0; i <= j; i++) bytes = text.find('\n', bytes) + 1;
    Cut cut = base;
    cut.percent = percent;
    cut.truth = static_cast<double>(start) + d.zeroSeconds - static_cast<double>(d.lines[j].time);
    cut.fallingHour = firstDrop <= j && d.lines[j].time - d.lines[firstDrop].time >= 3600;
    cut.informed = Informed(d, j, 3);
    cut.informedWhole = Informed(d, j, MAX_HOURS);
    estimate(text.substr(0, bytes), j, cut);
  }
}

void Fill(const TimeLeft& t, Cut* cut) {
  cut->known = t.known;
  cut->estimate = t.seconds;
  cut->low = t.low;
  cut->high = t.high;
}

// The cuts of one made-up cell's log, its summary made from it alone (after `before`).
void CutLog(const Cell& cell, const Discharge& d, int n, const std::vector<int>& percents,
            const std::string& before, std::vector<Cut>* cuts) {
  Cut base{};
  base.cell = n;
  base.cellText = cell.Describe();
  base.load = cell.LoadName();
  CutLog(d, START, percents, base, [&](const std::string& upload, size_t, Cut cut) {
    std::vector<LogFile> files{ParseLogText("cell.txt", before + upload)};
    std::vector<Terminal> terminals = BuildTerminals(files);
    Fill(Summarise(terminals.at(0)).timeLeft, &cut);
    cuts->push_back(cut);
  });
}

// What a naive tool says: a straight line through the filtered percentage of the last
// hour's lines (up to line j), to 0 %; 0 where it does not fall.
double StraightLine(const std::vector<Reading>& lines, size_t j) {
  double n = 0, st = 0, sp = 0, stt = 0, stp = 0;
  for (size_t i = j + 1; i-- > 0 && lines[j].time - lines[i].time <= 3600;) {
    const double t = static_cast<double>(lines[i].time - lines[j].time),
                 p = lines[i].filteredPercent;
    n++, st += t, sp += p, stt += t * t, stp += t * p;
  }
  const double slope = n > 1 ? (n * stp - st * sp) / (n * stt - st * st) : 0;  // % a second
  return slope < 0 ? lines[j].filteredPercent / -slope : 0;
}

// The first sample of `m` under its load: a laboratory's discharge starts with the cell at
// rest, a terminal's with its load on (on external power the battery charges; taken off it,
// the battery carries the load at once).
size_t LoadStart(const MeasuredDischarge& m) {
  double sum = 0;
  int n = 0;
  for (double a : m.amps) {
    if (a > 0) sum += a, n++;
  }
  for (size_t i = 0; n > 0 && i + 2 < m.amps.size(); i++) {
    if (m.amps[i] > 0.1 * sum / n) return i;
  }
  return 0;
}

// The log of a measured discharge as the terminal would write it: its voltages from its
// load's start, stretched in time by `stretch`, read twice a second with Gaussian noise of
// `noise` volts, between the limits of `options` (the minimum no lower than its
// laboratory's cut-off, where its samples end), in µV.
Discharge Replay(const MeasuredDischarge& m, double stretch, const MeasuredOptions& options,
                 Random* r, Seconds start) {
  size_t i = LoadStart(m);
  const double begin = m.seconds[i], end = m.seconds.back();
  auto cell = [&](double t, double* volts, double* charge) {
    const double s = begin + t / stretch;
    if (s > end) return false;
    while (i + 2 < m.seconds.size() && m.seconds[i + 1] <= s) i++;
    const double span = m.seconds[i + 1] - m.seconds[i];
    const double along = span > 0 ? std::min(1.0, std::max(0.0, (s - m.seconds[i]) / span)) : 1;
    *volts = m.volts[i] + (m.volts[i + 1] - m.volts[i]) * along + options.noiseVolts * r->Gauss();
    *charge = (end - s) / (end - begin);  // its time as its charge, for the informed references
    return true;
  };
  return Monitor({options.voltsMax, std::max(options.voltsMin, m.cutoffVolts), true}, cell, start,
                 true);
}

// An upload's name for the log of `model` whose last line is at `last`.
std::string UploadName(const std::string& model, Seconds last) {
  CivilTime t = ToCivil(last);
  char name[200];
  std::snprintf(name, sizeof name, "r_%s_%04d%02d%02d%02d%02d.txt", model.c_str(), t.year, t.month,
                t.day, t.hour, t.minute);
  return name;
}

}  // namespace

// The log of `c` run to 0 %, days before the cells' logs start: a discharge to learn from.
std::string DischargeBefore(const Cell& c, Random* r) {
  return LogText(Run(c, r, START - 4 * 86400, true).lines);
}

// Another cell of the model of `c`: the same curve and limits, its capacity within 10 % and
// its resistance within 25 % (another cell, or the same one older), noise of its own, and
// a steady load of 80 to 600 mA, from full, as on a bench.
Cell Sibling(const Cell& c, Random* r) {
  Cell s = c;
  s.capacityAh = c.capacityAh * r->Between(0.9, 1.1);
  s.resistance = c.resistance * r->Between(0.8, 1.25);
  s.noiseVolts = r->Between(0.002, 0.005);
  s.load = 0;
  s.current1 = s.current2 = r->Between(0.08, 0.6);
  s.startCharge = 1;
  return s;
}

std::vector<Cut> RunBacktest(CellFamily family, uint32_t seed, int cells, bool learnt) {
  std::vector<Cut> cuts;
  Random random(seed);
  const std::vector<int> percents(std::begin(CUT_PERCENTS), std::end(CUT_PERCENTS));
  for (int n = 0; n < cells;) {
    Cell cell = MakeCell(family, &random);
    Discharge d = Run(cell, &random, START);
    if (d.zeroSeconds < 0 || d.lines.empty()) continue;  // never emptied in MAX_HOURS: another
    std::string before;
    if (learnt) {  // its own draws, so that the cells are those without it
      Random other(seed * 7919u + static_cast<uint32_t>(n));
      before = DischargeBefore(Sibling(cell, &other), &other);
    }
    CutLog(cell, d, n, percents, before, &cuts);
    n++;
  }
  return cuts;
}

std::vector<Cut> RunBenchCell(double startCharge, const std::vector<int>& percents, bool learnt) {
  std::vector<Cut> cuts;
  Random random(1);  // its draws do not matter: no noise, a constant load
  Cell cell = BenchCell(startCharge);
  Discharge d = Run(cell, &random, START);
  const std::string before = learnt ? DischargeBefore(BenchCell(1), &random) : "";
  if (d.zeroSeconds >= 0 && !d.lines.empty()) CutLog(cell, d, 0, percents, before, &cuts);
  return cuts;
}

// The stored curves offered to a report under the rule of `options`: those kept (the
// report takes the latest), the cell's first alone, or the mean of the latest few.
std::vector<LearntDischarge> Offered(const std::vector<LearntDischarge>& kept,
                                     const std::vector<LearntDischarge>& first,
                                     const MeasuredOptions& options) {
  if (options.stored == StoredRule::First) return first;
  if (options.stored == StoredRule::Latest) return kept;
  LearntDischarge mean = kept.back();
  const size_t n = std::min(kept.size(), static_cast<size_t>(options.meanOf));
  mean.curve.hours = 0;
  std::fill(std::begin(mean.curve.volts), std::end(mean.curve.volts), 0.0);
  for (size_t i = kept.size() - n; i < kept.size(); i++) {
    mean.curve.hours += kept[i].curve.hours / static_cast<double>(n);
    for (int k = 0; k < LEARNT_POINTS; k++)
      mean.curve.volts[k] += kept[i].curve.volts[k] / static_cast<double>(n);
  }
  return {mean};
}

namespace {

// How many times slower `m` is replayed: as the longest of its cell under its load is to
// the terminal's hours, and never faster than measured.
double Stretch(const std::vector<MeasuredDischarge>& all, const MeasuredDischarge& m,
               const MeasuredOptions& options) {
  double longest = 0;
  for (const MeasuredDischarge& o : all) {
    if (o.dataset == m.dataset && o.cell == m.cell && o.load == m.load) {
      longest = std::max(longest, o.seconds.back() - o.seconds[LoadStart(o)]);
    }
  }
  return std::max(1.0, options.stretchHours * 3600 / longest);
}

}  // namespace

bool Measurable(const MeasuredDischarge& m) {
  return m.seconds.size() >= 2 && m.chargeAh >= MEASURED_LEAST_CHARGE * m.capacityAh;
}

MeasuredCuts RunMeasuredBacktest(const std::vector<MeasuredDischarge>& all,
                                 const MeasuredOptions& options) {
  MeasuredCuts result;
  const std::vector<int> percents(std::begin(CUT_PERCENTS), std::end(CUT_PERCENTS));
  // Each cell's discharges in the order given, a few days apart.
  std::vector<std::string> cells;
  for (const MeasuredDischarge& m : all) {
    const std::string cell = m.dataset + " " + m.cell;
    if (Measurable(m) && std::find(cells.begin(), cells.end(), cell) == cells.end())
      cells.push_back(cell);
  }
  int n = 0;
  for (const std::string& cell : cells) {
    std::vector<LearntDischarge> kept, first;
    int k = 0;
    for (const MeasuredDischarge& m : all) {
      if (!Measurable(m) || m.dataset + " " + m.cell != cell) continue;
      const double stretch = Stretch(all, m, options);
      Random random(static_cast<uint32_t>(n + 1));
      const Seconds start = START + static_cast<Seconds>(k) * 3 * 86400;
      const Discharge d = Replay(m, stretch, options, &random, start);
      if (d.zeroSeconds < 0 || d.lines.empty()) continue;  // never read 0 %: no truth
      Cut base{};
      base.cell = n++;
      base.group = cell;
      base.load = m.load;
      char text[160];
      std::snprintf(text, sizeof text, "%s %s, %s, stretched %.1f times to %.1f h", cell.c_str(),
                    m.id.c_str(), m.load.c_str(), stretch, d.zeroSeconds / 3600);
      base.cellText = text;
      const bool estimated = k % options.every == 0;
      if (estimated) {
        CutLog(d, start, percents, base, [&](const std::string& upload, size_t j, Cut cut) {
          std::vector<LogFile> files{ParseLogText(UploadName(m.cell, d.lines[j].time), upload)};
          std::vector<Terminal> terminals = BuildTerminals(files);
          const std::vector<LearntDischarge> learnt = Discharges(terminals);
          Fill(SummariseAll(terminals, learnt, nullptr).at(0).timeLeft, &cut);
          result.alone.push_back(cut);
          if (!kept.empty()) {
            const std::vector<LearntDischarge> offered = Offered(kept, first, options);
            Fill(SummariseAll(terminals, learnt, &offered).at(0).timeLeft, &cut);
            result.stored.push_back(cut);
          }
          cut.estimate = StraightLine(d.lines, j);
          cut.known = cut.estimate > 0;
          cut.low = cut.high = cut.estimate;
          result.naive.push_back(cut);
        });
      }
      // Then it is kept, as a report of its whole log would keep it.
      std::vector<LogFile> files{
          ParseLogText(UploadName(m.cell, d.lines.back().time), LogText(d.lines))};
      std::vector<Terminal> terminals = BuildTerminals(files);
      bool changed = false;
      kept = MergeCurves(kept, Discharges(terminals), d.lines.back().time, &changed);
      if (first.empty()) first = kept;
      std::string model, error;
      ParseCurveFile(FormatCurveFile(m.cell, kept), &model, &kept, &error);  // as read back
      k++;
    }
  }
  return result;
}

BacktestFigures Figures(const std::vector<Cut>& cuts) {
  BacktestFigures f;
  std::vector<double> all, low, informed, informedWhole, logRatio, width;
  size_t covered = 0;
  for (const Cut& c : cuts) {
    informed.push_back(RelativeError(c.informed, c.truth));
    informedWhole.push_back(RelativeError(c.informedWhole, c.truth));
    double error = c.known ? std::fabs(c.estimate - c.truth) / c.truth : Infinite();
    all.push_back(error);
    if (c.percent <= 40) low.push_back(error);
    if (c.known) f.known++;
    if (c.known && c.estimate > 0) logRatio.push_back(std::log(c.estimate / c.truth));
    if (c.known && c.low <= c.truth && c.truth <= c.high) covered++;
    if (c.known) width.push_back((c.high - c.low) / c.truth);
    if (!c.known && c.fallingHour) f.missingAfterHour++;
  }
  f.cuts = cuts.size();
  f.lowCuts = low.size();
  f.medianError = Median(all);
  f.medianErrorLow = Median(low);
  f.medianErrorInformed = Median(informed);
  f.medianErrorInformedWhole = Median(informedWhole);
  f.medianLogRatio = Median(logRatio);
  f.medianWidth = Median(width);
  f.coverage = cuts.empty() ? 0 : static_cast<double>(covered) / static_cast<double>(cuts.size());
  return f;
}

bool WriteMeasuredLogs(const std::vector<MeasuredDischarge>& all, const MeasuredOptions& options,
                       int percent, const std::string& dir, std::string* error) {
  struct Longest {
    std::string cell;
    std::vector<Reading> lines;
  };
  std::vector<Longest> longest;  // of each cell, in the order of the index
  for (size_t n = 0; n < all.size(); n++) {
    const MeasuredDischarge& m = all[n];
    if (!Measurable(m)) continue;
    Random random(static_cast<uint32_t>(n + 1));
    Discharge d = Replay(m, Stretch(all, m, options), options, &random, START);
    size_t end = 0;
    while (end < d.lines.size() && d.lines[end].filteredPercent > percent) end++;
    if (end == d.lines.size()) continue;  // never that low
    d.lines.resize(end + 1);
    const std::string cell = m.dataset + " " + m.cell;
    auto same = std::find_if(longest.begin(), longest.end(),
                             [&](const Longest& o) { return o.cell == cell; });
    if (same == longest.end()) {
      longest.push_back({cell, std::move(d.lines)});
    } else if (d.lines.size() > same->lines.size()) {
      same->lines = std::move(d.lines);
    }
  }
  for (const Longest& l : longest) {
    const std::string path =
        dir + "/" + UploadName(l.cell.substr(l.cell.find(' ') + 1), l.lines.back().time);
    std::ofstream out(path, std::ios::binary);
    out << LogText(l.lines);
    if (!out.flush()) {
      *error = "cannot write " + path;
      return false;
    }
  }
  return true;
}

}  // namespace report
