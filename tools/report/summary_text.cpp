#include "tools/report/summary_text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace report {
namespace {

// One "label   value" line.
void Add(std::string* text, const char* label, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Add(std::string* text, const char* label, const char* format, ...) {
  char value[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(value, sizeof value, format, args);
  va_end(args);
  char line[600];
  std::snprintf(line, sizeof line, "  %-18s %s\n", label, value);
  *text += line;
}

const char* UnitRule(VoltageUnit unit) {
  switch (unit) {
    case VoltageUnit::Microvolt: return "µV assumed (the largest value is 100000 or more)";
    case VoltageUnit::Millivolt: return "mV assumed (every value is below 100000)";
    default: return "none (every voltage is 0)";
  }
}

// Whole seconds, held within what a duration can be.
Seconds Rounded(double seconds) {
  if (std::isnan(seconds)) return 0;
  return static_cast<Seconds>(std::clamp(std::round(seconds), -9.0e18, 9.0e18));
}

// "from 02.03.2026 18:00:00 to 03.03.2026 08:00:00" ("to 08:00:00" within a day).
std::string Span(Seconds from, Seconds to) {
  std::string a = FormatStamp(from), b = FormatStamp(to);
  if (b.substr(0, 10) == a.substr(0, 10)) b = b.substr(11);
  return a + " to " + b;
}

// Which learnt curve the estimate was offered: whence, and of which discharge.
std::string CurveText(const Terminal& t, const Summary& s) {
  const LearntDischarge& d = s.curve;
  if (!d.curve.known) {
    if (t.model.empty())
      return "none learnt (no discharge to empty earlier in the log): typical curves";
    return std::string("none learnt") + (s.storeRead ? " or stored" : " (the store not read)") +
           " for this model: typical curves";
  }
  std::string text = d.stored != 0 ? "stored, learnt from " + Visible(d.source)
                                   : "learnt from " + Visible(d.source) + ":" + d.lines;
  text += ", a discharge of " + Span(d.first, d.last);
  if (d.stored != 0) {
    // The PC's own clock, in its local time.
    time_t when = static_cast<time_t>(d.stored);
    struct tm local;
    char stamp[40] = "?";
    if (localtime_r(&when, &local) != nullptr)
      std::strftime(stamp, sizeof stamp, "%d.%m.%Y %H:%M:%S", &local);
    text += std::string(", stored ") + stamp;
  }
  return text;
}

// "02.03.2026 18:00:00 to 03.03.2026 08:00:00 (14 h 00 min at 0 %), then 98 % at
// 03.03.2026 08:10:00: probably charged in that time" (on external power the monitor keeps
// the empty battery's reading), or "..., up to the last line".
std::string EmptyText(const EmptyStretch& e) {
  std::string text = e.from == e.to ? "at " + FormatStamp(e.from) : Span(e.from, e.to);
  text += " (" + FormatDuration(e.to - e.from) + " at 0 %)";
  if (e.rose) {
    text += ", then " + std::to_string(e.riseTo) + " % at " + FormatStamp(e.riseAt) +
            (e.afterGap ? ", after a gap: probably charged by then"
                        : ": probably charged in that time");
  } else {  // only the last can end so: a rise or 0 % follows every other
    text += ", up to the last line";
  }
  return text;
}

}  // namespace

std::string SummaryText(const Terminal& t, const Summary& s) {
  std::string text = "Terminal " + t.name + " (";
  for (size_t i = 0; i < t.files.size(); i++) text += (i ? ", " : "") + Visible(t.files[i]->path);
  text += ")\n";
  Add(&text, "first stamp", "%s", FormatStamp(s.first).c_str());
  Add(&text, "last stamp", "%s", FormatStamp(s.last).c_str());
  Add(&text, "duration", "%s (%zu segment%s)", FormatDuration(s.logged).c_str(),
      t.segments.size(), t.segments.size() == 1 ? "" : "s, the gaps between them not counted");
  Add(&text, "lines", "%zu (%zu without a battery reading)", s.lines, s.withoutReading);
  Add(&text, "voltage unit", "%s", UnitRule(t.unit));
  if (!s.hasReading) {
    Add(&text, "voltage", "no battery reading in the log");
  } else {
    Add(&text, "voltage", "start %.3f V, end %.3f V, minimum %.3f V", s.voltsStart, s.voltsEnd,
        s.voltsMin);
    Add(&text, "filtered %", "start %d %%, end %d %%", s.percentStart, s.percentEnd);
    if (s.fallingTime > 0) {
      Add(&text, "discharge rate", "%.2f %%/h, %.1f mV/h (over %s of falling percentage)",
          s.percentPerHour, s.millivoltsPerHour, FormatDuration(s.fallingTime).c_str());
    } else {
      Add(&text, "discharge rate", "none: the filtered percentage never fell");
    }
    if (s.reachedLow) {
      Add(&text, "40 % or less", "from %s, %s after the first stamp", FormatStamp(s.lowStamp).c_str(),
          FormatDuration(s.lowElapsed).c_str());
    } else {
      Add(&text, "40 % or less", "not reached (lowest %d %%)", s.percentLowest);
    }
  }
  if (s.timeLeft.known) {
    auto duration = [](double seconds) { return FormatDuration(Rounded(seconds)); };
    Add(&text, "time left to 0 %", "%s (%s to %s, %.0f %%) after %s",
        duration(s.timeLeft.seconds).c_str(), duration(s.timeLeft.low).c_str(),
        duration(s.timeLeft.high).c_str(), INTERVAL_LEVEL * 100, FormatStamp(s.timeLeftFrom).c_str());
    Add(&text, "", "(%s; from %zu readings)", s.timeLeft.assumptions.c_str(), s.timeLeftReadings);
    Add(&text, "curve", "%s", CurveText(t, s).c_str());
  } else if (s.hasReading) {
    Add(&text, "time left to 0 %", "cannot be estimated: %s", s.timeLeft.whyNot.c_str());
  }
  if (!t.apart.empty()) Add(&text, "kept apart", "%s", t.apart.c_str());
  if (t.duplicates > 0) {
    Add(&text, "duplicate lines", "%zu left out (first %s: a file given twice, or runs appended?)",
        t.duplicates, t.firstDuplicate.c_str());
  }
  if (s.implausible > 0) {
    Add(&text, "implausible fall", "%zu left out of the rates, faster than %.0f %%/h (first %s: "
        "two runs in one log?)", s.implausible, IMPLAUSIBLE_PERCENT_PER_HOUR,
        s.firstImplausible.c_str());
  }
  const size_t shown = 10;  // of each list; a long log may have hundreds
  for (size_t i = 0; i < s.empty.size() && i < shown; i++) {
    Add(&text, "empty", "%s", EmptyText(s.empty[i]).c_str());
  }
  if (s.empty.size() > shown) {
    Add(&text, "empty", "and %zu more such stretches; %s at 0 %% in all", s.empty.size() - shown,
        FormatDuration(s.emptyTime).c_str());
  }
  for (size_t i = 0; i < s.externalPower.size() && i < shown; i++) {
    const HeldVoltage& h = s.externalPower[i];
    std::string from = FormatStamp(h.from), to = FormatStamp(h.to);
    if (to.substr(0, 10) == from.substr(0, 10)) to = to.substr(11);  // the same day
    Add(&text, "external power", "probably, %s to %s (%s, voltage held at %.3f V)", from.c_str(),
        to.c_str(), FormatDuration(h.to - h.from).c_str(), h.volts);
  }
  if (s.externalPower.size() > shown) {
    Add(&text, "external power", "and %zu more such stretches", s.externalPower.size() - shown);
  }
  for (size_t i = 1; i < t.segments.size() && i <= shown; i++) {
    Add(&text, "new segment", "%s", t.segments[i].why.c_str());
  }
  if (t.segments.size() > shown + 1) {
    Add(&text, "new segment", "and %zu more", t.segments.size() - shown - 1);
  }
  return text;
}

}  // namespace report
