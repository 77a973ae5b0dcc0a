// The readings as CSV (RFC 4180: comma-separated, CR LF, a header row, fields quoted when
// they hold a comma, quote or line end), one row per valid line, terminal by terminal in
// time-line order:
//   time,model,voltage_max_V,voltage_min_V,voltage_now_V,linear_percent,filtered_percent,file,line
// time is ISO 8601 (yyyy-mm-ddTHH:MM:SS, the terminal's local time, no zone); voltages are
// in volts whatever unit the log kept. A line without a battery reading (voltage now 0)
// has its voltage now and both percentages empty, so a chart skips it.
#ifndef TOOLS_REPORT_CSV_H
#define TOOLS_REPORT_CSV_H

#include <string>
#include <vector>

#include "tools/report/timeline.h"

namespace report {

// Returns "" on success, else what went wrong.
std::string WriteCsv(const std::string& path, const std::vector<Terminal>& terminals);

}  // namespace report

#endif
