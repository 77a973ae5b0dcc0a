// The logs of one terminal put on one time line, cut into segments where the clock jumps.
//
// Files are grouped by the terminal model in their upload names, and each file whose name
// has another form is a terminal of its own. A file's lines keep the order the terminal
// wrote them in; the files of one terminal follow one another in the order of their first
// stamps. A jump ends a segment: a stamp earlier than the one before it (the clock was set
// back), or later by more than MAX_STEP, twice the longest cadence of the log (a line
// every 10 minutes, every minute at 40 % or less), so the clock was set forward or the
// program did not run. A plot leaves the gap between segments blank.
#ifndef TOOLS_REPORT_TIMELINE_H
#define TOOLS_REPORT_TIMELINE_H

#include <cstddef>
#include <string>
#include <vector>

#include "tools/report/log_reader.h"
#include "tools/report/units.h"

namespace report {

constexpr Seconds MAX_STEP = 20 * 60;

struct Entry {
  Reading reading;
  const LogFile* file;
  int line;
};

struct Segment {
  size_t begin, end;  // entries [begin, end)
  std::string why;    // why it starts: "" for the first, else "FILE:LINE: clock went back by ..."
};

struct Terminal {
  std::string name;   // the model, "(no model)" for an upload of none, or the file's path,
                      // with control characters made visible (Visible())
  std::string model;  // the model from the upload names; "" otherwise
  std::vector<const LogFile*> files;
  std::vector<Entry> entries;
  std::vector<Segment> segments;
  VoltageUnit unit = VoltageUnit::None;
  size_t duplicates = 0;       // lines left out as repeats of one before
  std::string firstDuplicate;  // "FILE:LINE repeats FILE:LINE"
  std::string apart;           // why this terminal was kept apart from another of its name
};

// A file whose stamps overlap those of the files of its group before it, with readings
// those do not have, is another terminal or run, and becomes a terminal of its own
// ("NAME (2)"). A line that repeats another in all its fields is left out and counted.
//
// Terminals in the order their first files come in `files`; files without a valid line
// are left out. The terminals point into `files`, which must outlive them.
std::vector<Terminal> BuildTerminals(const std::vector<LogFile>& files);

}  // namespace report

#endif
