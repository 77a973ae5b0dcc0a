#include "tools/report/plot.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/report/gnuplot.h"

namespace report {
namespace {

const unsigned COLOURS[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e,
                            0x9467bd, 0x8c564b, 0xe377c2, 0x17becf};

// The PNG's panels and key, as fractions of the picture from its left and bottom edges.
constexpr double PNG_LEFT = 0.075, PNG_RIGHT = 0.70, FLEET_RIGHT = 0.76;
constexpr double PNG_TOP = 0.90, PNG_MIDDLE_TOP = 0.53, PNG_MIDDLE_BOTTOM = 0.50, PNG_BOTTOM = 0.11;
// The page's plots, the same way.
constexpr double SVG_LEFT = 0.075, SVG_RIGHT = 0.985;
constexpr double SVG_TOP = 0.965, SVG_MIDDLE_TOP = 0.565, SVG_MIDDLE_BOTTOM = 0.52, SVG_BOTTOM = 0.12;
// The percentage axis of every picture.
constexpr double PERCENT_TOP = 105;

bool HasReading(const Terminal& t) {
  return std::any_of(t.entries.begin(), t.entries.end(),
                     [](const Entry& e) { return e.reading.HasBatteryReading(); });
}

bool HasProjection(const Terminal& t, const Summary& s) {
  return HasReading(t) && s.timeLeft.known && !s.timeLeft.path.empty();
}

// A terminal's curves in the PNG start at its first stamp (a clock set back draws left of it).
Seconds Origin(const Terminal& t) { return t.entries.front().reading.time; }

std::pair<Seconds, Seconds> StampRange(const Terminal& t) {
  auto [low, high] = std::minmax_element(
      t.entries.begin(), t.entries.end(),
      [](const Entry& a, const Entry& b) { return a.reading.time < b.reading.time; });
  return {low->reading.time, high->reading.time};
}

// Where a terminal's time axis ends: its latest stamp, or the end of its estimate's band,
// but no further past its last reading than the log's span or twice the estimate, so that a
// wide interval does not squeeze the readings into a corner (the summary gives it whole).
Seconds AxisEnd(const Terminal& t, const Summary& s) {
  auto [first, last] = StampRange(t);
  if (!HasProjection(t, s)) return last;
  double span = static_cast<double>(last - first);
  double reach = std::min(s.timeLeft.high, std::max({span, 2 * s.timeLeft.seconds, 3600.0}));
  return std::max(last, s.timeLeftFrom + static_cast<Seconds>(std::ceil(reach)));
}

// The time a terminal's axis shows after its segments: from the reading its estimate counts
// from (after a clock set back, not the latest) to AxisEnd, at least 10 minutes after the
// first stamp.
std::pair<Seconds, Seconds> EstimateRun(const Terminal& t, const Summary& s) {
  auto [first, last] = StampRange(t);
  return {HasProjection(t, s) ? s.timeLeftFrom : last, std::max(AxisEnd(t, s), first + 600)};
}

std::string Colour(unsigned colour) {
  char text[16];
  std::snprintf(text, sizeof text, "'#%06x'", colour);
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string Fixed(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

// Where a stamp lies on a picture's time axis: (stamp - origin) / unit, or, with pieces,
// on the piece that holds it, the long gaps between them drawn narrow.
struct TimeMap {
  Seconds origin = 0;
  double unit = 1;
  std::vector<AxisPiece> pieces;
  double operator()(double stamp) const {
    double x = stamp - static_cast<double>(origin);
    if (!pieces.empty()) {
      size_t k = 0;
      while (k + 1 < pieces.size() && x >= static_cast<double>(pieces[k + 1].from)) k++;
      x = pieces[k].x + std::clamp(x - static_cast<double>(pieces[k].from), 0.0,
                                   static_cast<double>(pieces[k].to - pieces[k].from));
    }
    return x / unit;
  }
  double End() const { return pieces.back().x + static_cast<double>(pieces.back().to - pieces.back().from); }
};

// The stamps of each segment of `t`, less `origin`.
std::vector<std::pair<Seconds, Seconds>> SegmentRuns(const Terminal& t, Seconds origin) {
  std::vector<std::pair<Seconds, Seconds>> runs;
  for (const Segment& segment : t.segments) {
    Seconds from = t.entries[segment.begin].reading.time, to = from;
    for (size_t i = segment.begin; i < segment.end; i++) {
      from = std::min(from, t.entries[i].reading.time);
      to = std::max(to, t.entries[i].reading.time);
    }
    runs.push_back({from - origin, to - origin});
  }
  return runs;
}

// The pieces of a time axis that shows `runs` (of stamps, or of times since an origin): a
// gap between them longer than a fifth of the time shown otherwise is narrowed to
// GAP_WIDTH of the axis.
std::vector<AxisPiece> TimePieces(std::vector<std::pair<Seconds, Seconds>> runs) {
  std::sort(runs.begin(), runs.end());
  std::vector<std::pair<Seconds, Seconds>> merged;  // overlapping runs as one
  for (const auto& run : runs) {
    if (!merged.empty() && run.first <= merged.back().second) {
      merged.back().second = std::max(merged.back().second, run.second);
    } else {
      merged.push_back(run);
    }
  }
  // The longest gaps first, each narrowed while longer than a fifth of what is left.
  std::vector<size_t> gaps;  // a gap before merged[k]
  for (size_t k = 1; k < merged.size(); k++) gaps.push_back(k);
  std::sort(gaps.begin(), gaps.end(), [&merged](size_t a, size_t b) {
    return merged[a].first - merged[a - 1].second > merged[b].first - merged[b - 1].second;
  });
  Seconds shown = merged.back().second - merged.front().first;
  std::vector<bool> narrowed(merged.size(), false);
  for (size_t k : gaps) {
    const Seconds gap = merged[k].first - merged[k - 1].second;
    if (gap * 5 <= shown - gap) break;
    narrowed[k] = true;
    shown -= gap;
  }
  const size_t count = static_cast<size_t>(std::count(narrowed.begin(), narrowed.end(), true));
  const double gapWidth = GAP_WIDTH * static_cast<double>(shown) / (1 - GAP_WIDTH * static_cast<double>(count));
  std::vector<AxisPiece> pieces{{merged.front().first, merged.front().second, 0}};
  for (size_t k = 1; k < merged.size(); k++) {
    AxisPiece& last = pieces.back();
    if (!narrowed[k]) {
      last.to = merged[k].second;
    } else {
      pieces.push_back({merged[k].first, merged[k].second,
                        last.x + static_cast<double>(last.to - last.from) + gapWidth});
    }
  }
  return pieces;
}

// The tics of the time axis of `map`: `set xtics (...)` at round times of each piece, at
// most about eight, none labelled unless `labelled`. Of stamps (`stamps`), a tic shows the
// hour, with the date where the date changes, or only the date; of times since an origin,
// the time in the map's unit.
std::string TimeTics(const TimeMap& map, bool stamps, bool labelled) {
  static const Seconds STEPS[] = {600,   1200,   1800,   3600,   7200,   10800,  21600,
                                  43200, 86400,  172800, 345600, 604800, 1209600};
  const double end = map.End();
  Seconds step = STEPS[0];
  for (Seconds s : STEPS) {
    step = s;
    if (end / static_cast<double>(s) <= 7.5 && (stamps || s >= map.unit / 2)) break;
  }
  std::string tics;
  std::string day;
  for (const AxisPiece& piece : map.pieces) {
    const Seconds first = piece.from >= 0 ? (piece.from + step - 1) / step * step : -(-piece.from / step * step);
    for (Seconds at = first; at <= piece.to; at += step) {
      std::string label;
      if (!stamps) {
        label = Number(static_cast<double>(at) / map.unit);
      } else {
        const std::string stamp = FormatStamp(at);  // dd.mm.yyyy HH:MM:SS
        label = stamp.substr(0, 6);
        if (step < 86400) label = stamp.substr(0, 10) == day ? stamp.substr(11, 5) : label + " " + stamp.substr(11, 5);
        day = stamp.substr(0, 10);
      }
      tics += (tics.empty() ? "" : ", ") + Quoted(labelled ? label : "") + " " +
              Number((piece.x + static_cast<double>(at - piece.from)) / map.unit);
    }
  }
  return "set xtics (" + tics + ")\n";
}

// The narrowed gaps of `map`: their file ("from to" on the axis), the plot elements that
// draw them grey in a panel from `low` to `high` (each followed by ", "), and labels naming
// how long each was, for the voltage panel.
struct Gaps {
  std::string data, volts, percent, labels;
};
Gaps GapPlots(const TimeMap& map, const std::string& file, double low, double high) {
  Gaps gaps;
  if (map.pieces.size() < 2) return gaps;
  for (size_t k = 1; k < map.pieces.size(); k++) {
    const AxisPiece& a = map.pieces[k - 1];
    const AxisPiece& b = map.pieces[k];
    const double from = (a.x + static_cast<double>(a.to - a.from)) / map.unit, to = b.x / map.unit;
    gaps.data += Number(from) + " " + Number(to) + "\n";
    gaps.labels += "set label " + Quoted(FormatDuration(b.from - a.to) + " later") + " at first " +
                   Number((from + to) / 2) + ", graph 0.5 center rotate by 90 front tc rgb '#505050'\n";
  }
  const std::string grey = " with boxxyerror fs solid 1.0 noborder lc rgb '#e4e6ea' notitle, ";
  gaps.volts = Quoted(file) + " using (($1+$2)/2):(" + Number((low + high) / 2) + "):1:2:(" +
               Number(low) + "):(" + Number(high) + ")" + grey;
  gaps.percent = Quoted(file) + " using (($1+$2)/2):(50):1:2:(0):(" + Number(PERCENT_TOP) + ")" + grey;
  return gaps;
}

// " fs transparent solid ALPHA noborder lc rgb 'COLOUR'"
std::string Fill(double alpha, unsigned colour) {
  return " fs transparent solid " + Fixed(alpha, 2) + " noborder lc rgb " + Colour(colour);
}

// The least and greatest voltage of `terminals`' readings, widened to a round range.
struct Range {
  double low, high;
};
Range VoltageRange(const std::vector<const Terminal*>& terminals) {
  double low = 1e9, high = -1e9;
  for (const Terminal* t : terminals) {
    for (const Entry& e : t->entries) {
      if (!e.reading.HasBatteryReading()) continue;
      double v = ToVolts(e.reading.voltageNow, t->unit);
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  if (low > high) return {0, 1};
  double pad = std::max(0.02, (high - low) * 0.06);
  return {std::floor((low - pad) * 20) / 20, std::ceil((high + pad) * 20) / 20};
}

// The entries of a segment of `t` that a picture `columns` wide from `from` to `to` (on
// the axis of `map`) can show, in order.
std::vector<size_t> Thinned(const Terminal& t, const Segment& segment, const TimeMap& map,
                            double from, double to, int columns) {
  std::vector<size_t> kept;
  const double scale = columns / std::max(1e-9, to - from);
  long column = 0;
  size_t chosen[4] = {};  // first, last, lowest and highest voltage
  bool open = false;
  auto close = [&]() {
    if (!open) return;
    std::sort(std::begin(chosen), std::end(chosen));
    kept.insert(kept.end(), std::begin(chosen), std::unique(std::begin(chosen), std::end(chosen)));
  };
  for (size_t i = segment.begin; i < segment.end; i++) {
    const Reading& r = t.entries[i].reading;
    if (!r.HasBatteryReading()) continue;
    const long c = static_cast<long>(std::floor((map(static_cast<double>(r.time)) - from) * scale));
    if (!open || c != column) {
      close();
      std::fill(std::begin(chosen), std::end(chosen), i);
      column = c;
      open = true;
      continue;
    }
    chosen[1] = i;
    if (r.voltageNow < t.entries[chosen[2]].reading.voltageNow) chosen[2] = i;
    if (r.voltageNow > t.entries[chosen[3]].reading.voltageNow) chosen[3] = i;
  }
  close();
  return kept;
}

// Lines "x volts percent" of the readings of `t` a picture `columns` wide over [from, to]
// (on the axis of `map`) shows; a blank line between segments. Of readings alike in both
// values (a held voltage) only the first and last are drawn.
std::string CurveData(const Terminal& t, const TimeMap& map, double from, double to, int columns) {
  std::string data;
  char line[96];
  for (const Segment& segment : t.segments) {
    const std::vector<size_t> kept = Thinned(t, segment, map, from, to, columns);
    auto alike = [&t, &kept](size_t a, size_t b) {
      const Reading& x = t.entries[kept[a]].reading;
      const Reading& y = t.entries[kept[b]].reading;
      return x.voltageNow == y.voltageNow && x.filteredPercent == y.filteredPercent;
    };
    for (size_t k = 0; k < kept.size(); k++) {
      if (k > 0 && k + 1 < kept.size() && alike(k - 1, k) && alike(k, k + 1)) continue;
      const Reading& r = t.entries[kept[k]].reading;
      std::snprintf(line, sizeof line, "%.10g %.6f %d\n", map(static_cast<double>(r.time)),
                    ToVolts(r.voltageNow, t.unit), r.filteredPercent);
      data += line;
    }
    data += "\n";
  }
  return data;
}

// Lines "x percent low high" of the projection to 0 % and its band; the projected path
// ends at 0 % ("?" after it), the band goes on to the interval's end.
std::string ProjectionData(const Summary& s, const TimeMap& map) {
  std::string data;
  char line[128];
  for (const ProjectedPoint& p : s.timeLeft.path) {
    char percent[16] = "?";
    if (p.seconds <= s.timeLeft.seconds) std::snprintf(percent, sizeof percent, "%.3f", p.percent);
    std::snprintf(line, sizeof line, "%.10g %s %.3f %.3f\n",
                  map(static_cast<double>(s.timeLeftFrom) + p.seconds), percent, p.low, p.high);
    data += line;
  }
  return data;
}

// Lines "from to" of the stretches probably on external power.
std::string PowerData(const Summary& s, const TimeMap& map) {
  std::string data;
  for (const HeldVoltage& h : s.externalPower) {
    data += Number(map(static_cast<double>(h.from))) + " " + Number(map(static_cast<double>(h.to))) + "\n";
  }
  return data;
}

// A plot element shading the stretches of `file` ("from to" lines) from `low` to `high`.
std::string Shading(const std::string& file, double low, double high) {
  return Quoted(file) + " using (($1+$2)/2):(" + Number((low + high) / 2) + "):1:2:(" +
         Number(low) + "):(" + Number(high) + ") with boxxyerror" + Fill(POWER_ALPHA, POWER_COLOUR);
}

std::string Margins(double left, double right, double top, double bottom) {
  return "set lmargin at screen " + Number(left) + "\nset rmargin at screen " + Number(right) +
         "\nset tmargin at screen " + Number(top) + "\nset bmargin at screen " + Number(bottom) + "\n";
}

// A name in a key or label: at most `most` bytes of it, not cut within a UTF-8 character.
std::string Shortened(const std::string& name, size_t most) {
  if (name.size() <= most) return name;
  size_t cut = most - 3;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) cut--;
  return name.substr(0, cut) + "...";
}

const char THRESHOLD[] =
    "set arrow from graph 0, first 40 to graph 1, first 40 nohead front dt 2 lw 1.5 lc rgb '#606060'\n";

// The PNG of a few terminals, one colour each.
GnuplotJob FewTerminals(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                        const std::string& output) {
  GnuplotJob job;
  // One time axis for all: each terminal's time since its first stamp, long gaps narrowed,
  // in hours, or days once it shows more than three days.
  std::vector<const Terminal*> drawn;
  std::vector<std::pair<Seconds, Seconds>> runs;
  for (size_t i = 0; i < terminals.size(); i++) {
    const Terminal& t = terminals[i];
    if (!HasReading(t)) continue;
    drawn.push_back(&t);
    std::vector<std::pair<Seconds, Seconds>> own = SegmentRuns(t, Origin(t));
    runs.insert(runs.end(), own.begin(), own.end());
    const auto [from, to] = EstimateRun(t, summaries[i]);
    runs.push_back({from - Origin(t), to - Origin(t)});
  }
  std::vector<AxisPiece> pieces = TimePieces(runs);
  const double unit = TimeMap{0, 1, pieces}.End() > 3 * 86400 ? 86400.0 : 3600.0;
  const TimeMap axis{0, unit, pieces};
  const double end = axis.End() / unit;
  const int columns = static_cast<int>((PNG_RIGHT - PNG_LEFT) * PLOT_WIDTH / 2);
  const auto [vlow, vhigh] = VoltageRange(drawn);
  const Gaps gaps = GapPlots(axis, "gaps.dat", vlow, vhigh);
  if (!gaps.data.empty()) job.files.push_back({"gaps.dat", gaps.data});

  std::string voltage, percent, band;
  std::string power;  // every terminal's stretches, in one file
  for (size_t i = 0; i < terminals.size(); i++) {
    const Terminal& t = terminals[i];
    const Summary& s = summaries[i];
    if (!HasReading(t)) continue;
    const Seconds origin = Origin(t);
    const TimeMap map{origin, unit, axis.pieces};
    const std::string curves = "c" + std::to_string(i) + ".dat";
    job.files.push_back({curves, CurveData(t, map, 0, end, columns)});
    std::string style = " with lines lw 2 lc rgb " + Colour(CurveColour(i));
    std::string from = " (from " + FormatStamp(origin).substr(0, 16) + ")";
    // The key beside the panels holds about 38 characters a line: the name (of a path, its
    // file's name) is shortened so that its start stamp still shows whole.
    const std::string name = t.name.substr(t.name.rfind('/') + 1);
    voltage += ", " + Quoted(curves) + " using 1:2" + style + " title " +
               Quoted(Shortened(name, std::max<size_t>(38 - from.size(), 12)) + from);
    percent += ", " + Quoted(curves) + " using 1:3" + style + " notitle";
    power += PowerData(s, map);
    if (HasProjection(t, s)) {
      const std::string projection = "p" + std::to_string(i) + ".dat";
      job.files.push_back({projection, ProjectionData(s, map)});
      band += ", " + Quoted(projection) + " using 1:3:4 with filledcurves" +
              Fill(BAND_ALPHA, CurveColour(i)) +
              (band.empty() ? " title 'time left to 0 %, 80 % interval'" : " notitle") + ", " +
              Quoted(projection) + " using 1:2 with lines dt 3 lw 2 lc rgb " + Colour(CurveColour(i)) +
              " notitle";
    }
  }
  std::string shadeVolts, shadePercent;
  if (!power.empty()) {
    job.files.push_back({"power.dat", power});
    shadeVolts = ", " + Shading("power.dat", vlow, vhigh) + " notitle";
    shadePercent = ", " + Shading("power.dat", 0, PERCENT_TOP) + " title 'probably on external power'";
  }
  const std::string x = unit > 3600 ? "days" : "h";
  const std::string key = "set key at screen " + Number(PNG_RIGHT + 0.02) + ", ";
  job.script =
      "set terminal pngcairo size " + std::to_string(PLOT_WIDTH) + "," + std::to_string(PLOT_HEIGHT) +
      " noenhanced font 'sans,11'\n"
      "set output " + Quoted(output) + "\n"
      "set multiplot title 'Battery log: voltage and filtered percentage'\n"
      "set grid\n"
      "set datafile missing '?'\n"
      "set xrange [0:" + Number(end) + "]\n" + TimeTics(axis, false, false) +
      Margins(PNG_LEFT, PNG_RIGHT, PNG_TOP, PNG_MIDDLE_TOP) +
      key + Number(PNG_TOP) + " left top Left reverse samplen 2\n"
      "set ylabel 'Voltage (V)'\n"
      "set format y '%.2f'\n"
      "set yrange [" + Number(vlow) + ":" + Number(vhigh) + "]\n" + gaps.labels +
      "plot " + gaps.volts + (shadeVolts + voltage).substr(2) + "\n" +
      Margins(PNG_LEFT, PNG_RIGHT, PNG_MIDDLE_BOTTOM, PNG_BOTTOM) +
      key + Number(PNG_MIDDLE_BOTTOM) + " left top Left reverse samplen 2\n"
      "unset label\n" + TimeTics(axis, false, true) +
      "set xlabel 'Time since the start of each log (" + x + ")'\n"
      "set ylabel 'Filtered percentage (%)'\n"
      "set format y '%g'\n"
      "set yrange [0:" + Number(PERCENT_TOP) + "]\n" +
      THRESHOLD +
      "plot " + gaps.percent + (shadePercent + percent + band).substr(2) +
      ", NaN with lines dt 2 lw 1.5 lc rgb '#606060' title '40 % threshold'\n"
      "unset multiplot\n";
  return job;
}

// The value at fraction p of the sorted `values`, between neighbours.
double Quantile(const std::vector<double>& values, double p) {
  double at = p * static_cast<double>(values.size() - 1);
  size_t below = static_cast<size_t>(at);
  if (below + 1 >= values.size()) return values.back();
  return values[below] + (at - static_cast<double>(below)) * (values[below + 1] - values[below]);
}

// The PNG of a fleet: bands over the terminals at each of its columns, the lowest named.
GnuplotJob Fleet(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                 const std::string& output) {
  GnuplotJob job;
  std::vector<const Terminal*> drawn;
  Seconds xmin = 0, xmax = 0;
  for (size_t i = 0; i < terminals.size(); i++) {
    if (!HasReading(terminals[i])) continue;
    drawn.push_back(&terminals[i]);
    auto [first, last] = StampRange(terminals[i]);
    xmin = std::min(xmin, first - Origin(terminals[i]));
    xmax = std::max(xmax, last - Origin(terminals[i]));
  }
  xmax = std::max(xmax, xmin + 600);
  const double unit = xmax - xmin > 3 * 86400 ? 86400.0 : 3600.0;  // no estimate drawn
  const int columns = static_cast<int>((FLEET_RIGHT - PNG_LEFT) * PLOT_WIDTH / 2);
  const double step = static_cast<double>(xmax - xmin) / columns;
  // Each terminal's last reading at or before each column's time, within a segment.
  std::vector<std::vector<double>> percents(columns + 1), volts(columns + 1);
  for (const Terminal* t : drawn) {
    const Seconds origin = Origin(*t);
    std::vector<int> filled(columns + 1, 0);
    for (const Segment& segment : t->segments) {
      const Reading* last = nullptr;
      for (size_t i = segment.begin; i <= segment.end; i++) {
        const Reading* next = i < segment.end ? &t->entries[i].reading : nullptr;
        if (next != nullptr && !next->HasBatteryReading()) continue;
        if (last != nullptr) {
          // Columns from `last` up to before `next` (through `last` at a segment's end).
          double a = static_cast<double>(last->time - origin - xmin) / step;
          double b = next != nullptr ? static_cast<double>(next->time - origin - xmin) / step : a;
          for (long c = std::max(0L, static_cast<long>(std::ceil(a)));
               c <= std::min<long>(columns, next != nullptr ? static_cast<long>(std::ceil(b)) - 1
                                                            : static_cast<long>(std::floor(a)));
               c++) {
            if (filled[c]++) continue;
            percents[c].push_back(last->filteredPercent);
            volts[c].push_back(ToVolts(last->voltageNow, t->unit));
          }
        }
        if (next != nullptr) last = next;
      }
    }
  }
  std::string bands;
  for (int c = 0; c <= columns; c++) {
    if (percents[c].empty()) {
      bands += "\n";  // no terminal here: the bands break
      continue;
    }
    std::sort(percents[c].begin(), percents[c].end());
    std::sort(volts[c].begin(), volts[c].end());
    bands += Number((static_cast<double>(xmin) + c * step) / unit);
    for (const std::vector<double>* values : {&percents[c], &volts[c]}) {
      for (double p : {0.0, 0.1, 0.5, 0.9, 1.0}) bands += " " + Fixed(Quantile(*values, p), 4);
    }
    bands += "\n";
  }
  job.files.push_back({"bands.dat", bands});

  // The lowest terminals: drawn in colours, named beside their ends, not overlapping.
  const std::vector<size_t> lowest = LowestTerminals(terminals, summaries);
  std::string voltage, percent, labels;
  std::vector<std::pair<double, size_t>> ends;  // label height, rank
  for (size_t k = 0; k < lowest.size(); k++) {
    const Terminal& t = terminals[lowest[k]];
    const std::string curves = "c" + std::to_string(k) + ".dat";
    job.files.push_back({curves, CurveData(t, {Origin(t), unit, {}}, static_cast<double>(xmin) / unit,
                                           static_cast<double>(xmax) / unit, columns)});
    std::string style = " with lines lw 1.5 lc rgb " + Colour(CurveColour(k)) + " notitle";
    voltage += ", " + Quoted(curves) + " using 1:2" + style;
    percent += ", " + Quoted(curves) + " using 1:3" + style;
    ends.push_back({static_cast<double>(summaries[lowest[k]].percentEnd), k});
  }
  std::sort(ends.begin(), ends.end());
  const double gap = 6;  // % of the axis: a line of the labels' font
  for (size_t j = 1; j < ends.size(); j++) ends[j].first = std::max(ends[j].first, ends[j - 1].first + gap);
  const double over = ends.empty() ? 0 : ends.back().first - (PERCENT_TOP - 3);
  for (auto& end : ends) end.first -= std::max(0.0, over);
  for (const auto& [height, k] : ends) {
    const Summary& s = summaries[lowest[k]];
    labels += "set label " + Quoted(Shortened(terminals[lowest[k]].name, 26) + ": " +
                                    std::to_string(s.percentEnd) + " % at its end") +
              " at graph 1, first " + Number(height) + " offset character 1,0 left tc rgb " +
              Colour(CurveColour(k)) + "\n";
  }
  const std::string x = unit > 3600 ? "days" : "h";
  auto bandPlot = [](int first) {
    auto column = [first](int k) { return std::to_string(first + k); };
    return "'bands.dat' using 1:" + column(0) + ":" + column(4) + " with filledcurves" +
           Fill(FLEET_RANGE_ALPHA, FLEET_COLOUR) + " title 'all terminals', "
           "'bands.dat' using 1:" + column(1) + ":" + column(3) + " with filledcurves" +
           Fill(FLEET_BAND_ALPHA, FLEET_COLOUR) + " title 'middle 80 % of terminals', "
           "'bands.dat' using 1:" + column(2) + " with lines lw 2 lc rgb " + Colour(FLEET_COLOUR) +
           " title 'median'";
  };
  const std::string named =
      "set label 'lowest at their end:' at graph 1, first " + Number(PERCENT_TOP) +
      " offset character 1,0 left\n";
  job.script =
      "set terminal pngcairo size " + std::to_string(PLOT_WIDTH) + "," + std::to_string(PLOT_HEIGHT) +
      " noenhanced font 'sans,11'\n"
      "set output " + Quoted(output) + "\n"
      "set multiplot title 'Battery logs of " + std::to_string(drawn.size()) +
      " terminals: voltage and filtered percentage'\n"
      "set grid\n"
      "set datafile missing '?'\n"
      "set xrange [" + Number(static_cast<double>(xmin) / unit) + ":" +
      Number(static_cast<double>(xmax) / unit) + "]\n" +
      Margins(PNG_LEFT, FLEET_RIGHT, PNG_TOP, PNG_MIDDLE_TOP) +
      "set key at screen " + Number(FLEET_RIGHT + 0.015) + ", " + Number(PNG_TOP) +
      " left top Left reverse samplen 2\n"
      "set format x ''\n"
      "set ylabel 'Voltage (V)'\n"
      "set format y '%.2f'\n"
      "plot " + bandPlot(7) + voltage + "\n" +
      Margins(PNG_LEFT, FLEET_RIGHT, PNG_MIDDLE_BOTTOM, PNG_BOTTOM) +
      "unset key\n"
      "set format x '%g'\n"
      "set xlabel 'Time since the start of each log (" + x + ")'\n"
      "set ylabel 'Filtered percentage (%)'\n"
      "set format y '%g'\n"
      "set yrange [0:" + Number(PERCENT_TOP) + "]\n" +
      THRESHOLD + (lowest.empty() ? "" : named) + labels +
      "plot " + bandPlot(2) + percent + "\n"
      "unset multiplot\n";
  return job;
}

// The script and files of `job` in a new temporary directory, gnuplot run on them.
std::string RunJob(GnuplotDir* dir, const GnuplotJob& job, const std::string& option) {
  std::string error = dir->Make(option);
  if (!error.empty()) return error;
  for (const auto& [name, text] : job.files) {
    if (!dir->Write(name, text)) return "cannot write gnuplot's files in " + Visible(dir->Path(""));
  }
  if (!dir->Write("plot.gp", job.script)) return "cannot write gnuplot's files in " + Visible(dir->Path(""));
  return dir->Run("plot.gp");
}

}  // namespace

unsigned CurveColour(size_t index) { return COLOURS[index % (sizeof COLOURS / sizeof *COLOURS)]; }

std::vector<size_t> LowestTerminals(const std::vector<Terminal>& terminals,
                                    const std::vector<Summary>& summaries) {
  std::vector<size_t> order;
  for (size_t i = 0; i < terminals.size(); i++) {
    if (summaries[i].hasReading) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&summaries](size_t a, size_t b) {
    const Summary& x = summaries[a];
    const Summary& y = summaries[b];
    return x.percentEnd != y.percentEnd ? x.percentEnd < y.percentEnd : x.voltsEnd < y.voltsEnd;
  });
  if (order.size() > FLEET_NAMED) order.resize(FLEET_NAMED);
  return order;
}

GnuplotJob PngJob(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                  const std::string& output) {
  size_t drawn = static_cast<size_t>(std::count_if(terminals.begin(), terminals.end(), HasReading));
  return drawn >= FLEET_FROM ? Fleet(terminals, summaries, output)
                             : FewTerminals(terminals, summaries, output);
}

std::string WritePng(const std::string& path, const std::vector<Terminal>& terminals,
                     const std::vector<Summary>& summaries) {
  if (std::none_of(terminals.begin(), terminals.end(), HasReading)) {
    return Visible(path) + ": no battery reading to plot";
  }
  // The report's own word on an output it cannot write, before gnuplot would say its own.
  const bool existed = access(path.c_str(), F_OK) == 0;
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (out < 0) return Visible(path) + ": cannot write: " + std::strerror(errno);
  close(out);
  // gnuplot draws into its own directory, and the picture is copied to `path` afterwards:
  // no name from outside is written into its script.
  GnuplotDir dir;
  std::string result = RunJob(&dir, PngJob(terminals, summaries, "plot.png"), "--png");
  if (result.empty() && !CopyFile(dir.Path("plot.png"), path)) {
    result = "cannot write: " + std::string(std::strerror(errno));
  }
  if (!result.empty()) {
    if (!existed) unlink(path.c_str());  // no empty picture left behind
    result = Visible(path) + ": " + result;
  }
  return result;
}

GnuplotJob SvgJob(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                  std::vector<SvgPlot>* plots) {
  GnuplotJob job;
  plots->assign(terminals.size(), SvgPlot{});
  job.script = "set terminal svg size " + std::to_string(SVG_WIDTH) + "," +
               std::to_string(SVG_HEIGHT) +
               " fixed noenhanced font 'sans-serif,13' background '#ffffff'\n"
               "set grid lc rgb '#d8d8d8'\n"
               "set border lc rgb '#808080'\n"
               "set datafile missing '?'\n"
               "unset key\n"
               "set ytics nomirror\n";
  const int columns = static_cast<int>((SVG_RIGHT - SVG_LEFT) * SVG_WIDTH / 2);
  for (size_t i = 0; i < terminals.size(); i++) {
    const Terminal& t = terminals[i];
    const Summary& s = summaries[i];
    if (!HasReading(t)) continue;
    SvgPlot& plot = (*plots)[i];
    std::vector<std::pair<Seconds, Seconds>> runs = SegmentRuns(t, 0);
    runs.push_back(EstimateRun(t, s));
    const TimeMap map{0, 1, TimePieces(runs)};
    plot.pieces = map.pieces;
    plot.end = map.End();
    plot.left = SVG_LEFT * SVG_WIDTH;
    plot.right = SVG_RIGHT * SVG_WIDTH;
    const auto [vlow, vhigh] = VoltageRange({&t});
    plot.voltage = {(1 - SVG_TOP) * SVG_HEIGHT, (1 - SVG_MIDDLE_TOP) * SVG_HEIGHT, vlow, vhigh};
    plot.percent = {(1 - SVG_MIDDLE_BOTTOM) * SVG_HEIGHT, (1 - SVG_BOTTOM) * SVG_HEIGHT, 0, PERCENT_TOP};

    const std::string n = std::to_string(i);
    const std::string curves = "c" + n + ".dat", projection = "p" + n + ".dat",
                      power = "e" + n + ".dat", gapFile = "g" + n + ".dat";
    job.files.push_back({curves, CurveData(t, map, 0, plot.end, columns)});
    std::string shadeVolts, shadePercent, band;
    if (!s.externalPower.empty()) {
      job.files.push_back({power, PowerData(s, map)});
      shadeVolts = Shading(power, vlow, vhigh) + ", ";
      shadePercent = Shading(power, 0, PERCENT_TOP) + ", ";
    }
    if (HasProjection(t, s)) {
      job.files.push_back({projection, ProjectionData(s, map)});
      band = ", " + Quoted(projection) + " using 1:3:4 with filledcurves" +
             Fill(BAND_ALPHA, PERCENT_COLOUR) + ", " + Quoted(projection) +
             " using 1:2 with lines dt 3 lw 2 lc rgb " + Colour(PERCENT_COLOUR);
    }
    const Gaps gaps = GapPlots(map, gapFile, vlow, vhigh);
    if (!gaps.data.empty()) job.files.push_back({gapFile, gaps.data});
    job.script +=
        "set output " + Quoted("t" + n + ".svg") + "\n"
        "set multiplot\n"
        "set xrange [0:" + Number(plot.end) + "]\n" + TimeTics(map, true, false) +
        Margins(SVG_LEFT, SVG_RIGHT, SVG_TOP, SVG_MIDDLE_TOP) +
        "set ylabel 'Voltage (V)'\n"
        "set format y '%.2f'\n"
        "set yrange [" + Number(vlow) + ":" + Number(vhigh) + "]\n" + gaps.labels +
        "plot " + gaps.volts + shadeVolts + Quoted(curves) + " using 1:2 with lines lw 1.5 lc rgb " +
        Colour(VOLTAGE_COLOUR) + "\n" +
        Margins(SVG_LEFT, SVG_RIGHT, SVG_MIDDLE_BOTTOM, SVG_BOTTOM) +
        "unset label\n" + TimeTics(map, true, true) +
        "set ylabel 'Filtered percentage (%)'\n"
        "set format y '%g'\n"
        "set yrange [0:" + Number(PERCENT_TOP) + "]\n"
        "set ytics 0, 20, 100\n" +
        THRESHOLD +
        "plot " + gaps.percent + shadePercent + Quoted(curves) + " using 1:3 with lines lw 1.5 lc rgb " +
        Colour(PERCENT_COLOUR) + band + "\n"
        "unset arrow\n"
        "set ytics autofreq\n"
        "unset multiplot\n";
  }
  return job;
}

std::string DrawSvgs(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                     std::vector<SvgPlot>* plots) {
  GnuplotJob job = SvgJob(terminals, summaries, plots);
  if (job.files.empty()) return "";  // no reading to plot
  GnuplotDir dir;
  std::string result = RunJob(&dir, job, "--html");
  for (size_t i = 0; result.empty() && i < plots->size(); i++) {
    if ((*plots)[i].pieces.empty()) continue;
    if (!dir.Read("t" + std::to_string(i) + ".svg", &(*plots)[i].svg)) {
      result = "gnuplot drew no t" + std::to_string(i) + ".svg";
    }
  }
  return result;
}

}  // namespace report
