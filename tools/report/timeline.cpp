#include "tools/report/timeline.h"

#include <algorithm>

namespace report {
namespace {

std::string GroupKey(const LogFile& file) {
  return file.uploadName ? "model:" + file.model : "file:" + file.path;
}

void CutSegments(Terminal* t) {
  for (size_t i = 0; i < t->entries.size(); i++) {
    if (i == 0) {
      t->segments.push_back({0, 0, ""});
    } else {
      Seconds step = t->entries[i].reading.time - t->entries[i - 1].reading.time;
      if (step < 0 || step > MAX_STEP) {
        const Entry& e = t->entries[i];
        std::string what = step < 0 ? "clock went back by " + FormatDuration(-step)
                                    : "stamps jump forward by " + FormatDuration(step);
        t->segments.push_back(
            {i, i, Visible(e.file->path) + ":" + std::to_string(e.line) + ": " + what});
      }
    }
    t->segments.back().end = i + 1;
  }
}

}  // namespace

std::vector<Terminal> BuildTerminals(const std::vector<LogFile>& files) {
  std::vector<Terminal> terminals;
  std::vector<std::string> keys;
  for (const LogFile& file : files) {
    if (file.readings.empty()) continue;
    std::string key = GroupKey(file);
    auto found = std::find(keys.begin(), keys.end(), key);
    if (found == keys.end()) {
      keys.push_back(key);
      Terminal t;
      t.model = file.model;
      t.name = Visible(!file.uploadName ? file.path
                                        : file.model.empty() ? "(no model)" : file.model);
      terminals.push_back(t);
      found = keys.end() - 1;
    }
    terminals[static_cast<size_t>(found - keys.begin())].files.push_back(&file);
  }
  for (Terminal& t : terminals) {
    std::stable_sort(t.files.begin(), t.files.end(), [](const LogFile* a, const LogFile* b) {
      return a->readings.front().reading.time < b->readings.front().reading.time;
    });
    std::vector<const Reading*> all;
    for (const LogFile* file : t.files) {
      for (const NumberedReading& r : file->readings) t.entries.push_back({r.reading, file, r.line});
    }
    for (const Entry& e : t.entries) all.push_back(&e.reading);
    t.unit = DetectUnit(all);
    CutSegments(&t);
  }
  return terminals;
}

}  // namespace report
