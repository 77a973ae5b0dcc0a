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
  std::vector<std::string> diagnostics;   // "FILE:LINE: what is wrong", the first
                                          // MAX_DIAGNOSTICS bad lines
  size_t diagnosticsLeftOut = 0;          // bad lines after those
  std::string error;                      // "FILE: ..." when unreadable or without a valid line
};

// `text` with every control character (below 0x20, and 0x7F) written as \xHH, so that a
// name from a terminal or a command line prints on one line and as what it is.
std::string Visible(std::string_view text);

// The model in an upload's remote name "r_%s_%u%02u%02u%02u%02u.txt" (any directory
// before it). False when the name has another form.
bool ModelFromFileName(std::string_view path, std::string* model);

constexpr size_t MAX_DIAGNOSTICS = 100;
// Longer than any line the program writes (about 60 bytes); only this much of a longer
// line is kept, so a file without line feeds takes no more memory than a log.
constexpr size_t MAX_LINE = 256;

// Splits `text` into lines at LF. A line must end in CR LF; a line that does not, one
// that is empty and one whose fields are wrong are reported and left out.
LogFile ParseLogText(const std::string& path, std::string_view text);
// The same, read as a stream. Only a regular file is read: a device, a FIFO or a
// directory is refused in `error` without waiting for it.
LogFile ReadLogFile(const std::string& path);

}  // namespace report

#endif
