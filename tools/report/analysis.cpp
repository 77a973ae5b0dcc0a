#include "tools/report/analysis.h"

#include <algorithm>
#include <cstdio>

namespace report {
namespace {

struct Piece {
  size_t first, last;  // entries
};

// Positions k in `readings` (entries with a reading) before which a falling piece must
// break because readings k-1 and k lie in or leave a held-voltage stretch.
std::vector<bool> FindHeldVoltage(const Terminal& t, const std::vector<size_t>& readings,
                                  Summary* s) {
  std::vector<bool> breakBefore(readings.size() + 1, false);
  size_t run = 0;
  for (size_t k = 1; k <= readings.size(); k++) {
    if (k < readings.size() && t.entries[readings[k]].reading.voltageNow ==
                                   t.entries[readings[run]].reading.voltageNow) {
      continue;
    }
    const Entry& a = t.entries[readings[run]];
    const Entry& b = t.entries[readings[k - 1]];
    // Held at its minimum at 0 %, the battery is empty (the monitor keeps the last reading
    // it could use), not on external power.
    bool empty = a.reading.filteredPercent == 0 && a.reading.voltageNow <= a.reading.voltageMin;
    if (b.reading.time - a.reading.time > HELD_VOLTAGE_S && !empty) {
      s->externalPower.push_back({a.reading.time, b.reading.time, ToVolts(a.reading.voltageNow, t.unit)});
      for (size_t j = run + 1; j <= k; j++) breakBefore[j] = true;
    }
    run = k;
  }
  return breakBefore;
}

// A fall faster than any terminal's battery: two runs in one log, or two batteries.
bool Implausible(const Reading& a, const Reading& b) {
  double fall = a.filteredPercent - b.filteredPercent;
  double hours = static_cast<double>(b.time - a.time) / 3600;
  return fall > IMPLAUSIBLE_MIN_FALL && fall > IMPLAUSIBLE_PERCENT_PER_HOUR * hours;
}

std::vector<Piece> FallingPieces(const Terminal& t, const std::vector<size_t>& readings,
                                 const std::vector<bool>& breakBefore, Summary* s) {
  std::vector<Piece> pieces;
  size_t start = 0;
  for (size_t k = 1; k <= readings.size(); k++) {
    bool implausible = k < readings.size() && Implausible(t.entries[readings[k - 1]].reading,
                                                          t.entries[readings[k]].reading);
    if (implausible && s->implausible++ == 0) {
      const Entry& a = t.entries[readings[k - 1]];
      const Entry& b = t.entries[readings[k]];
      char what[160];
      std::snprintf(what, sizeof what, "%s:%d: %d %% to %d %% in %s", Visible(b.file->path).c_str(), b.line,
                    a.reading.filteredPercent, b.reading.filteredPercent,
                    FormatDuration(b.reading.time - a.reading.time).c_str());
      s->firstImplausible = what;
    }
    bool cut = k == readings.size() || breakBefore[k] || implausible ||
               t.entries[readings[k]].reading.filteredPercent >
                   t.entries[readings[k - 1]].reading.filteredPercent;
    if (!cut) continue;
    const Reading& a = t.entries[readings[start]].reading;
    const Reading& b = t.entries[readings[k - 1]].reading;
    if (b.filteredPercent < a.filteredPercent) pieces.push_back({readings[start], readings[k - 1]});
    start = k;
  }
  return pieces;
}

// The readings of a piece, in seconds before its last one.
std::vector<Sample> SamplesOf(const Terminal& t, const Piece& piece) {
  std::vector<Sample> samples;
  const Seconds end = t.entries[piece.last].reading.time;
  for (size_t i = piece.first; i <= piece.last; i++) {
    const Reading& r = t.entries[i].reading;
    if (!r.HasBatteryReading()) continue;
    samples.push_back({static_cast<double>(r.time - end), ToVolts(r.voltageNow, t.unit)});
  }
  return samples;
}

// The falling pieces of each segment of `t`, in time order; held voltages go to `s`.
std::vector<std::vector<Piece>> PiecesBySegment(const Terminal& t, Summary* s) {
  std::vector<std::vector<Piece>> all;
  for (const Segment& segment : t.segments) {
    std::vector<size_t> readings;
    for (size_t i = segment.begin; i < segment.end; i++) {
      if (t.entries[i].reading.HasBatteryReading()) readings.push_back(i);
    }
    std::vector<bool> breakBefore = FindHeldVoltage(t, readings, s);
    all.push_back(FallingPieces(t, readings, breakBefore, s));
  }
  return all;
}

// The curve of the latest discharge to empty among `related` that gives one, but for
// `estimated` (the piece of `t` whose time left is wanted): a falling piece from
// LEARN_FROM_PERCENT or more to LEARN_TO_PERCENT or less.
LearntCurve Learn(const std::vector<const Terminal*>& related, const Terminal& t,
                  const Piece& estimated) {
  struct Candidate {
    const Terminal* from;
    Piece piece;
  };
  std::vector<Candidate> candidates;
  for (const Terminal* u : related) {
    Summary scratch;
    for (const std::vector<Piece>& pieces : PiecesBySegment(*u, &scratch)) {
      for (const Piece& p : pieces) {
        const Reading& a = u->entries[p.first].reading;
        const Reading& b = u->entries[p.last].reading;
        if (u == &t && p.last == estimated.last) continue;
        if (a.filteredPercent < LEARN_FROM_PERCENT || b.filteredPercent > LEARN_TO_PERCENT) continue;
        candidates.push_back({u, p});
      }
    }
  }
  auto ends = [](const Candidate& c) { return c.from->entries[c.piece.last].reading.time; };
  std::stable_sort(candidates.begin(), candidates.end(),
                   [&](const Candidate& x, const Candidate& y) { return ends(x) > ends(y); });
  for (Candidate& c : candidates) {
    // It ends where it first showed its lowest percentage: a terminal runs on at 0 %, and
    // the monitor holds the last reading it could use.
    const int lowest = c.from->entries[c.piece.last].reading.filteredPercent;
    for (size_t i = c.piece.first; i <= c.piece.last; i++) {
      const Reading& r = c.from->entries[i].reading;
      if (r.HasBatteryReading() && r.filteredPercent == lowest) {
        c.piece.last = i;
        break;
      }
    }
    LearntCurve learnt = LearnCurve(SamplesOf(*c.from, c.piece));
    if (!learnt.known) continue;
    const Entry& first = c.from->entries[c.piece.first];
    const Entry& last = c.from->entries[c.piece.last];
    learnt.from = Visible(first.file->path) + ":" + std::to_string(first.line) + " to " +
                  (last.file == first.file ? "" : Visible(last.file->path) + ":") +
                  std::to_string(last.line);
    return learnt;
  }
  return LearntCurve();
}

void EstimateFrom(const Terminal& t, const Piece& piece, const LearntCurve& learnt, Summary* s) {
  Seconds end = t.entries[piece.last].reading.time;
  s->timeLeftFrom = end;
  EstimateInput input;
  input.samples = SamplesOf(t, piece);
  const Reading& last = t.entries[piece.last].reading;
  input.voltsMax = ToVolts(last.voltageMax, t.unit);
  input.voltsMin = ToVolts(last.voltageMin, t.unit);
  input.learnt = learnt;
  s->timeLeftReadings = input.samples.size();
  if (t.entries[piece.last].reading.filteredPercent == 0) {
    s->timeLeft.whyNot = "the filtered percentage is already 0 %";
  } else {
    s->timeLeft = EstimateTimeLeft(input);
  }
}

}  // namespace

Summary Summarise(const Terminal& t, const std::vector<const Terminal*>& related) {
  Summary s;
  s.lines = t.entries.size();
  s.first = t.entries.front().reading.time;
  s.last = t.entries.back().reading.time;
  double fallPercent = 0, fallVolts = 0;
  for (const Segment& segment : t.segments) {
    for (size_t i = segment.begin; i < segment.end; i++) {
      const Reading& r = t.entries[i].reading;
      if (!r.HasBatteryReading()) {
        s.withoutReading++;
        continue;
      }
      double volts = ToVolts(r.voltageNow, t.unit);
      if (!s.hasReading) {
        s.hasReading = true;
        s.voltsStart = s.voltsMin = volts;
        s.percentStart = s.percentLowest = r.filteredPercent;
      }
      s.voltsEnd = volts;
      s.voltsMin = std::min(s.voltsMin, volts);
      s.percentEnd = r.filteredPercent;
      s.percentLowest = std::min(s.percentLowest, r.filteredPercent);
      if (!s.reachedLow && r.filteredPercent <= LOW_PERCENT) {
        s.reachedLow = true;
        s.lowStamp = r.time;
        s.lowElapsed = r.time - s.first;
      }
    }
    s.logged += t.entries[segment.end - 1].reading.time - t.entries[segment.begin].reading.time;
  }
  std::vector<Piece> lastPieces;
  for (const std::vector<Piece>& pieces : PiecesBySegment(t, &s)) {
    for (const Piece& p : pieces) {
      const Reading& a = t.entries[p.first].reading;
      const Reading& b = t.entries[p.last].reading;
      s.fallingTime += b.time - a.time;
      fallPercent += a.filteredPercent - b.filteredPercent;
      fallVolts += ToVolts(a.voltageNow, t.unit) - ToVolts(b.voltageNow, t.unit);
    }
    if (!pieces.empty()) lastPieces = pieces;
  }
  if (s.fallingTime > 0) {
    double hours = static_cast<double>(s.fallingTime) / 3600;
    s.percentPerHour = fallPercent / hours;
    s.millivoltsPerHour = fallVolts * 1000 / hours;
  }
  if (lastPieces.empty()) {
    s.timeLeft.whyNot = "the filtered percentage never fell";
  } else {
    std::vector<const Terminal*> own{&t};
    const Piece& estimated = lastPieces.back();
    EstimateFrom(t, estimated, Learn(related.empty() ? own : related, t, estimated), &s);
  }
  return s;
}

std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals) {
  std::vector<Summary> summaries;
  for (const Terminal& t : terminals) {
    std::vector<const Terminal*> related;
    for (const Terminal& u : terminals) {
      if (&u == &t || (!t.model.empty() && u.model == t.model)) related.push_back(&u);
    }
    summaries.push_back(Summarise(t, related));
  }
  return summaries;
}

}  // namespace report
