#include "tools/report/log_line.h"

#include <cstdio>
#include <vector>

namespace report {
namespace {

std::string Quoted(std::string_view field) {
  if (field.size() > 24) return "'" + std::string(field.substr(0, 24)) + "...'";
  return "'" + std::string(field) + "'";
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads `count` digits at text[at...]; false if any is not a digit.
bool Digits(std::string_view text, size_t at, size_t count, int* value) {
  *value = 0;
  for (size_t i = at; i < at + count; i++) {
    if (i >= text.size() || !IsDigit(text[i])) return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

bool ParseDate(std::string_view f, CivilTime* t) {
  return f.size() == 10 && f[2] == '.' && f[5] == '.' && Digits(f, 0, 2, &t->day) &&
         Digits(f, 3, 2, &t->month) && Digits(f, 6, 4, &t->year);
}

bool ParseClock(std::string_view f, CivilTime* t) {
  return f.size() == 8 && f[2] == ':' && f[5] == ':' && Digits(f, 0, 2, &t->hour) &&
         Digits(f, 3, 2, &t->minute) && Digits(f, 6, 2, &t->second);
}

// A decimal integer, as "%i" prints it, that fits in 32 bits.
bool ParseVoltage(std::string_view f, int32_t* value) {
  bool negative = !f.empty() && f[0] == '-';
  std::string_view digits = f.substr(negative ? 1 : 0);
  if (digits.empty() || digits.size() > 10) return false;
  int64_t v = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

// "N%" with N of one to three digits.
bool ParsePercent(std::string_view f, int* value) {
  if (f.size() < 2 || f.size() > 4 || f.back() != '%') return false;
  return Digits(f, 0, f.size() - 1, value);
}

std::vector<std::string_view> SplitOnSpaces(std::string_view text) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t space = text.find(' ', start);
    fields.push_back(text.substr(start, space - start));
    if (space == std::string_view::npos) return fields;
    start = space + 1;
  }
}

}  // namespace

std::string ParseLogLine(std::string_view text, Reading* reading) {
  if (text.empty()) return "empty line";
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      char message[96];
      std::snprintf(message, sizeof message,
                    "CR alone at column %zu: the file uses CR line ends, not CR LF", i + 1);
      return message;
    }
    if (c < 0x20 || c > 0x7E) {
      char message[64];
      std::snprintf(message, sizeof message, "byte 0x%02X at column %zu is not printable ASCII", c,
                    i + 1);
      return message;
    }
  }
  std::vector<std::string_view> f = SplitOnSpaces(text);
  if (f.size() < 7) {
    return "missing field: " + std::to_string(f.size()) +
           " of 7 (date time max min now linear% filtered%)";
  }
  if (f.size() > 7) return "text after the filtered percentage: " + Quoted(f[7]);

  CivilTime t{};
  if (!ParseDate(f[0], &t) || !IsValidCivil(t)) {
    return "bad date " + Quoted(f[0]) + ", expected an existing day as dd.mm.yyyy";
  }
  if (!ParseClock(f[1], &t) || !IsValidCivil(t)) {
    return "bad time " + Quoted(f[1]) + ", expected HH:MM:SS";
  }
  Reading r;
  r.time = ToSeconds(t);
  static const char* const voltageNames[] = {"voltage max", "voltage min", "voltage now"};
  int32_t* voltages[] = {&r.voltageMax, &r.voltageMin, &r.voltageNow};
  for (int i = 0; i < 3; i++) {
    if (!ParseVoltage(f[2 + i], voltages[i])) {
      return std::string(voltageNames[i]) + " " + Quoted(f[2 + i]) + " is not a 32-bit integer";
    }
  }
  static const char* const percentNames[] = {"linear percentage", "filtered percentage"};
  int* percents[] = {&r.linearPercent, &r.filteredPercent};
  for (int i = 0; i < 2; i++) {
    if (!ParsePercent(f[5 + i], percents[i])) {
      return std::string(percentNames[i]) + " " + Quoted(f[5 + i]) + " is not a number and %";
    }
    if (*percents[i] > 100) {
      return std::string(percentNames[i]) + " " + Quoted(f[5 + i]) + " is over 100 %";
    }
  }
  *reading = r;
  return "";
}

}  // namespace report
