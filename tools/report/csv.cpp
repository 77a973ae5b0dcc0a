#include "tools/report/csv.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace report {
namespace {

// A text cell. One that begins as a spreadsheet's formula does is prefixed with ' so
// that it stays text when the CSV is opened.
std::string Field(const std::string& text) {
  bool formula = !text.empty() && std::strchr("=+-@\t\r", text[0]) != nullptr;
  if (!formula && text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = formula ? "\"'" : "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string Volts(int32_t value, VoltageUnit unit) {
  char text[32];
  std::snprintf(text, sizeof text, unit == VoltageUnit::Millivolt ? "%.3f" : "%.6f",
                ToVolts(value, unit));
  return text;
}

}  // namespace

std::string WriteCsv(const std::string& path, const std::vector<Terminal>& terminals) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return Visible(path) + ": cannot write: " + std::strerror(errno);
  std::fputs("time,model,voltage_max_V,voltage_min_V,voltage_now_V,linear_percent,"
             "filtered_percent,file,line\r\n", f);
  for (const Terminal& t : terminals) {
    std::string model = Field(t.model);
    for (const Entry& e : t.entries) {
      const Reading& r = e.reading;
      std::string row = FormatIso(r.time) + "," + model + "," + Volts(r.voltageMax, t.unit) +
                        "," + Volts(r.voltageMin, t.unit) + ",";
      if (r.HasBatteryReading()) {
        row += Volts(r.voltageNow, t.unit) + "," + std::to_string(r.linearPercent) + "," +
               std::to_string(r.filteredPercent);
      } else {
        row += ",,";
      }
      row += "," + Field(e.file->path) + "," + std::to_string(e.line) + "\r\n";
      std::fputs(row.c_str(), f);
    }
  }
  bool failed = std::ferror(f) != 0;
  int error = errno;
  if (std::fclose(f) != 0 && !failed) {
    failed = true;
    error = errno;
  }
  return failed ? Visible(path) + ": cannot write: " + std::strerror(error) : "";
}

}  // namespace report
