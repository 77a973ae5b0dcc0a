#include "tools/report/analysis.h"

#include <algorithm>
#include <cstdio>

namespace report {
namespace {

// A falling piece: its entries from `first` to `last`, its percentage at its lowest from
// `lowest` on. It fell from `first` to `lowest`; after that it held there (the terminal ran
// on at that percentage, or sat empty at 0 %), which is no falling time.
struct Piece {
  size_t first, last, lowest;
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
    if (b.filteredPercent < a.filteredPercent) {
      size_t lowest = start;  // the first reading at its lowest (the last is at it: no rise)
      while (t.entries[readings[lowest]].reading.filteredPercent > b.filteredPercent) lowest++;
      pieces.push_back({readings[start], readings[k - 1], readings[lowest]});
    }
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

// The discharges to empty of `t` that lend a curve, in time order; `pieces` are t's.
std::vector<LearntDischarge> DischargesOf(const Terminal& t,
                                          const std::vector<std::vector<Piece>>& pieces) {
  std::vector<LearntDischarge> found;
  for (const std::vector<Piece>& segment : pieces) {
    for (const Piece& p : segment) {
      const Entry& first = t.entries[p.first];
      const Entry& last = t.entries[p.lowest];
      if (first.reading.filteredPercent < LEARN_FROM_PERCENT ||
          last.reading.filteredPercent > LEARN_TO_PERCENT) {
        continue;
      }
      LearntDischarge d;
      d.curve = LearnCurve(SamplesOf(t, {p.first, p.lowest, p.lowest}));
      if (!d.curve.known) continue;
      d.model = t.model;
      d.terminal = &t;
      d.source = first.file->path;
      d.lines = std::to_string(first.line) + " to " +
                (last.file == first.file ? "" : Visible(last.file->path) + ":") +
                std::to_string(last.line);
      d.first = first.reading.time;
      d.last = last.reading.time;
      found.push_back(d);
    }
  }
  return found;
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

// The stretches of `t` at 0 %, each up to its last reading before the percentage rose or
// its segment ended, and the reading that came next when it was above 0 %.
void FindEmpty(const Terminal& t, Summary* s) {
  bool open = false, ended = false;  // in a stretch; one ended with no reading since
  for (const Segment& segment : t.segments) {
    for (size_t i = segment.begin; i < segment.end; i++) {
      const Reading& r = t.entries[i].reading;
      if (!r.HasBatteryReading()) continue;
      if (r.filteredPercent == 0) {
        if (!open) s->empty.push_back({r.time, r.time});
        s->empty.back().to = r.time;
        open = true;
      } else if (open || ended) {
        s->empty.back().rose = true;
        s->empty.back().afterGap = ended;
        s->empty.back().riseAt = r.time;
        s->empty.back().riseTo = r.filteredPercent;
        open = false;
      }
      ended = false;
    }
    ended = open;
    open = false;
  }
  for (const EmptyStretch& e : s->empty) s->emptyTime += e.to - e.from;
}

}  // namespace

Summary Summarise(const Terminal& t, const std::vector<const LearntDischarge*>& offered,
                  bool storeRead) {
  Summary s;
  s.storeRead = storeRead;
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
  FindEmpty(t, &s);
  const Piece* estimated = nullptr;
  const std::vector<std::vector<Piece>> pieces = PiecesBySegment(t, &s);
  for (const std::vector<Piece>& segment : pieces) {
    for (const Piece& p : segment) {
      // It fell up to its first reading at its lowest percentage, and held there after.
      const Reading& a = t.entries[p.first].reading;
      const Reading& b = t.entries[p.lowest].reading;
      s.fallingTime += b.time - a.time;
      fallPercent += a.filteredPercent - b.filteredPercent;
      fallVolts += ToVolts(a.voltageNow, t.unit) - ToVolts(b.voltageNow, t.unit);
      estimated = &p;
    }
  }
  if (s.fallingTime > 0) {
    double hours = static_cast<double>(s.fallingTime) / 3600;
    s.percentPerHour = fallPercent / hours;
    s.millivoltsPerHour = fallVolts * 1000 / hours;
  }
  if (estimated == nullptr) {
    s.timeLeft.whyNot = "the filtered percentage never fell";
  } else {
    const Seconds from = t.entries[estimated->first].reading.time;
    const Seconds to = t.entries[estimated->last].reading.time;
    const LearntDischarge* chosen = nullptr;
    for (const LearntDischarge* d : offered) {
      // One that overlaps the piece is that piece itself (learnt now, or stored before).
      if (d->first <= to && d->last >= from) continue;
      // The latest; of two that end together, the one learnt from the logs given.
      if (chosen == nullptr || d->last > chosen->last ||
          (d->last == chosen->last && chosen->stored != 0 && d->stored == 0)) {
        chosen = d;
      }
    }
    if (chosen != nullptr) s.curve = *chosen;
    EstimateFrom(t, *estimated, s.curve.curve, &s);
  }
  return s;
}

Summary Summarise(const Terminal& t) {
  Summary scratch;
  const std::vector<LearntDischarge> own = DischargesOf(t, PiecesBySegment(t, &scratch));
  std::vector<const LearntDischarge*> offered;
  for (const LearntDischarge& d : own) offered.push_back(&d);
  return Summarise(t, offered);
}

std::vector<LearntDischarge> Discharges(const std::vector<Terminal>& terminals) {
  std::vector<LearntDischarge> all;
  for (const Terminal& t : terminals) {
    Summary scratch;
    for (LearntDischarge& d : DischargesOf(t, PiecesBySegment(t, &scratch)))
      all.push_back(std::move(d));
  }
  return all;
}

std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals,
                                  const std::vector<LearntDischarge>& learnt,
                                  const std::vector<LearntDischarge>* stored) {
  std::vector<Summary> summaries;
  for (const Terminal& t : terminals) {
    std::vector<const LearntDischarge*> offered;
    for (const LearntDischarge& d : learnt) {
      if (d.terminal == &t || (!t.model.empty() && d.model == t.model)) offered.push_back(&d);
    }
    if (stored != nullptr && !t.model.empty()) {
      for (const LearntDischarge& d : *stored) {
        if (d.model == t.model) offered.push_back(&d);
      }
    }
    summaries.push_back(Summarise(t, offered, stored != nullptr && !t.model.empty()));
  }
  return summaries;
}

std::vector<Summary> SummariseAll(const std::vector<Terminal>& terminals) {
  return SummariseAll(terminals, Discharges(terminals), nullptr);
}

}  // namespace report
