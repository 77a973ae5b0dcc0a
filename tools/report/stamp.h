// Clock stamps of the battery log. The terminal writes its local time with no zone, so a
// stamp is kept as seconds on a zone-free calendar (as if UTC): differences are exact and
// no local time zone or daylight-saving rule of the PC enters.
#ifndef TOOLS_REPORT_STAMP_H
#define TOOLS_REPORT_STAMP_H

#include <cstdint>
#include <string>

namespace report {

using Seconds = int64_t;

struct CivilTime {
  int year, month, day, hour, minute, second;
};

// False for dates that do not exist (31.04., 29.02. of a common year, hour 24, ...).
bool IsValidCivil(const CivilTime& t);
Seconds ToSeconds(const CivilTime& t);
CivilTime ToCivil(Seconds s);

std::string FormatStamp(Seconds s);     // "dd.mm.yyyy HH:MM:SS", as in the log
std::string FormatIso(Seconds s);       // "yyyy-mm-ddTHH:MM:SS" (ISO 8601, local time)
std::string FormatDuration(Seconds s);  // "2 d 3 h 05 min", "3 h 05 min", "12 min", "40 s"

}  // namespace report

#endif
