#include "tools/report/timeline.h"

#include <algorithm>
#include <tuple>

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

bool Same(const Reading& a, const Reading& b) {
  return a.time == b.time && a.voltageMax == b.voltageMax && a.voltageMin == b.voltageMin &&
         a.voltageNow == b.voltageNow && a.linearPercent == b.linearPercent &&
         a.filteredPercent == b.filteredPercent;
}

bool Before(const Reading& a, const Reading& b) {
  return std::tie(a.time, a.voltageMax, a.voltageMin, a.voltageNow, a.linearPercent,
                  a.filteredPercent) < std::tie(b.time, b.voltageMax, b.voltageMin, b.voltageNow,
                                                b.linearPercent, b.filteredPercent);
}

// A terminal's readings sorted (Before), to tell whether a file overlaps them.
struct Sorted {
  std::vector<Reading> readings;
  Seconds first = 0, last = 0;

  void Add(const LogFile& file) {
    const size_t old = readings.size();
    for (const NumberedReading& r : file.readings) readings.push_back(r.reading);
    std::sort(readings.begin() + static_cast<ptrdiff_t>(old), readings.end(), Before);
    std::inplace_merge(readings.begin(), readings.begin() + static_cast<ptrdiff_t>(old),
                       readings.end(), Before);
    first = readings.empty() ? 0 : readings.front().time;
    last = readings.empty() ? 0 : readings.back().time;
  }
  // Whether `file` has a reading within their time span that they do not have.
  bool Overlaps(const LogFile& file) const {
    if (readings.empty()) return false;
    for (const NumberedReading& r : file.readings) {
      if (r.reading.time < first || r.reading.time > last) continue;
      auto at = std::lower_bound(readings.begin(), readings.end(), r.reading, Before);
      if (at == readings.end() || !Same(*at, r.reading)) return true;
    }
    return false;
  }
};

// Leaves out every line that repeats one before it (all its fields the same): a file
// given twice, an upload tried again, or runs appended.
void DropDuplicates(Terminal* t) {
  std::vector<size_t> order(t->entries.size());
  for (size_t i = 0; i < order.size(); i++) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [t](size_t a, size_t b) {
    return Before(t->entries[a].reading, t->entries[b].reading);
  });
  std::vector<bool> drop(order.size(), false);
  for (size_t k = 1; k < order.size(); k++) {
    const Entry& a = t->entries[order[k - 1]];
    const Entry& b = t->entries[order[k]];
    if (!Same(a.reading, b.reading)) continue;
    size_t later = std::max(order[k - 1], order[k]), earlier = std::min(order[k - 1], order[k]);
    // Equal runs sort in file order, so `earlier` is kept and stands for the others.
    drop[later] = true;
    if (t->duplicates++ == 0) {
      const Entry& kept = t->entries[earlier];
      const Entry& left = t->entries[later];
      t->firstDuplicate = Visible(left.file->path) + ":" + std::to_string(left.line) +
                          " repeats " + Visible(kept.file->path) + ":" + std::to_string(kept.line);
    }
  }
  std::vector<Entry> kept;
  for (size_t i = 0; i < t->entries.size(); i++) {
    if (!drop[i]) kept.push_back(t->entries[i]);
  }
  t->entries = std::move(kept);
}

}  // namespace

std::vector<Terminal> BuildTerminals(const std::vector<LogFile>& files) {
  std::vector<Terminal> groups;
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
      groups.push_back(t);
      found = keys.end() - 1;
    }
    groups[static_cast<size_t>(found - keys.begin())].files.push_back(&file);
  }
  std::vector<Terminal> terminals;
  for (Terminal& group : groups) {
    std::stable_sort(group.files.begin(), group.files.end(), [](const LogFile* a, const LogFile* b) {
      return a->readings.front().reading.time < b->readings.front().reading.time;
    });
    // A file whose stamps overlap the group's with readings of its own is another
    // terminal, or another run: it starts a terminal of its own. One that only repeats
    // lines already there (an upload tried again) stays.
    std::vector<Terminal> parts;
    std::vector<Sorted> sorted;  // each part's readings
    for (const LogFile* file : group.files) {
      Terminal* home = nullptr;
      for (size_t i = 0; i < parts.size() && home == nullptr; i++) {
        if (!sorted[i].Overlaps(*file)) home = &parts[i];
      }
      if (home == nullptr) {
        parts.push_back(group);
        sorted.emplace_back();
        home = &parts.back();
        home->files.clear();
        if (parts.size() > 1) {
          home->name += " (" + std::to_string(parts.size()) + ")";
          home->apart = Visible(file->path) + " overlaps " + Visible(parts.front().files.front()->path) +
                        " in time with other readings: another terminal or run, kept apart";
        }
      }
      home->files.push_back(file);
      sorted[static_cast<size_t>(home - parts.data())].Add(*file);
      for (const NumberedReading& r : file->readings) home->entries.push_back({r.reading, file, r.line});
    }
    for (Terminal& t : parts) {
      DropDuplicates(&t);
      std::vector<const Reading*> all;
      for (const Entry& e : t.entries) all.push_back(&e.reading);
      t.unit = DetectUnit(all);
      CutSegments(&t);
      terminals.push_back(std::move(t));
    }
  }
  return terminals;
}

}  // namespace report
