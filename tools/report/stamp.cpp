#include "tools/report/stamp.h"

#include <cstdio>

namespace report {
namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 on the proleptic Gregorian calendar (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool IsValidCivil(const CivilTime& t) {
  return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
         t.day <= DaysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 &&
         t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

Seconds ToSeconds(const CivilTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

CivilTime ToCivil(Seconds s) {
  int64_t days = (s >= 0 ? s : s - 86399) / 86400;
  int64_t rest = s - days * 86400;
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int y = static_cast<int>(yoe + era * 400 + (m <= 2));
  return {y, m, d, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
          static_cast<int>(rest % 60)};
}

std::string FormatStamp(Seconds s) {
  CivilTime t = ToCivil(s);
  char text[40];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year,
                t.hour, t.minute, t.second);
  return text;
}

std::string FormatIso(Seconds s) {
  CivilTime t = ToCivil(s);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

std::string FormatDuration(Seconds s) {
  const char* sign = s < 0 ? "-" : "";
  // The magnitude in unsigned arithmetic, where the most negative value has one too.
  unsigned long long a = static_cast<unsigned long long>(s);
  if (s < 0) a = 0 - a;
  char text[64];
  if (a >= 86400) {
    std::snprintf(text, sizeof text, "%s%llu d %llu h %02llu min", sign, a / 86400, a / 3600 % 24,
                  a / 60 % 60);
  } else if (a >= 3600) {
    std::snprintf(text, sizeof text, "%s%llu h %02llu min", sign, a / 3600, a / 60 % 60);
  } else if (a >= 60) {
    std::snprintf(text, sizeof text, "%s%llu min", sign, a / 60);
  } else {
    std::snprintf(text, sizeof text, "%s%llu s", sign, a);
  }
  return text;
}

}  // namespace report
