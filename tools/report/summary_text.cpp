#include "tools/report/summary_text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

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
