// A battery log file: its valid lines, the faults of the others, and the terminal model
// its name gives when it has the upload's form r_<model>_<yyyymmddHHMM>.txt.
#ifndef TOOLS_REPORT_LOG_READER_H
#define TOOLS_REPORT_LOG_READER_H

#include <string>
#include <string_view>
#include <vector>

#include "tools/report/log_line.h"

namespace report {

struct NumberedReading {
  Reading reading;
  int line;  // 1-based, in its file
};

struct LogFile {
  std::string path;
  bool uploadName = false;  // the name has the upload's form; `model` may then be empty
  std::string model;
  std::vector<NumberedReading> readings;  // the valid lines, in file order
  std::vector<std::string> diagnostics;   // "FILE:LINE: what is wrong", one per bad line
  std::string error;                      // "FILE: ..." when unreadable or without a valid line
};

// The model in an upload's remote name "r_%s_%u%02u%02u%02u%02u.txt" (any directory
// before it). False when the name has another form.
bool ModelFromFileName(std::string_view path, std::string* model);

// Splits `text` into lines at LF. A line must end in CR LF; a line that does not, one
// that is empty and one whose fields are wrong are reported and left out.
LogFile ParseLogText(const std::string& path, std::string_view text);
LogFile ReadLogFile(const std::string& path);

}  // namespace report

#endif
