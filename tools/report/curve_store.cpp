#include "tools/report/curve_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

namespace report {
namespace {

const char HEADER[] = "battest learnt curves 1";
const char HEADER_START[] = "battest learnt curves ";
const char SUFFIX[] = ".curves";
constexpr size_t MAX_FILE_NAME = 200;
constexpr double MAX_HOURS = 100000;  // a discharge of more than 11 years is no discharge

// Control characters, DEL and the backslash as \xHH: one line, read back exactly.
std::string Escape(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '\\') {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return false;
    if (c != '\\') {
      *out += static_cast<char>(c);
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return false;
    const int high = HexDigit(text[i + 2]), low = HexDigit(text[i + 3]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return true;
}

bool ParseStamp(std::string_view text, Seconds* stamp) {
  // yyyy-mm-ddTHH:MM:SS
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  auto number = [&](size_t at, size_t digits, int* value) {
    *value = 0;
    for (size_t i = at; i < at + digits; i++) {
      if (text[i] < '0' || text[i] > '9') return false;
      *value = *value * 10 + (text[i] - '0');
    }
    return true;
  };
  CivilTime t{};
  if (!number(0, 4, &t.year) || !number(5, 2, &t.month) || !number(8, 2, &t.day) ||
      !number(11, 2, &t.hour) || !number(14, 2, &t.minute) || !number(17, 2, &t.second) ||
      !IsValidCivil(t)) {
    return false;
  }
  *stamp = ToSeconds(t);
  return true;
}

// A finite number that is the whole of `text`, to the millionth a file holds (so that it
// reads back as it is written).
bool ParseNumber(std::string_view text, double* value) {
  if (text.empty() || text.size() > 40) return false;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  *value = std::round(std::strtod(copy.c_str(), &end) * 1e6) / 1e6;
  return errno == 0 && end == copy.c_str() + copy.size() && std::isfinite(*value) &&
         !std::isspace(static_cast<unsigned char>(copy[0]));
}

std::string Basename(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The PC's clock in its local time, as the log's stamps are written.
std::string LocalStamp(int64_t when) {
  const time_t t = static_cast<time_t>(when);
  struct tm local;
  char text[40] = "?";
  if (localtime_r(&t, &local) != nullptr)
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
  return text;
}

// "r_M_202603020800.txt, a discharge of 02.03.2026 08:00:00 to 14:34:00 (6.6 h)"
std::string Describe(const LearntDischarge& d) {
  std::string a = FormatStamp(d.first), b = FormatStamp(d.last);
  if (b.compare(0, 10, a, 0, 10) == 0) b = b.substr(11);
  char hours[32];
  std::snprintf(hours, sizeof hours, " (%.1f h)", d.curve.hours);
  return Visible(d.source) + (d.lines.empty() ? "" : ":" + d.lines) + ", a discharge of " + a +
         " to " + b + hours;
}

std::string Errno(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

// The store's directory, without following a link at its end: a descriptor, or -1 with
// the reason in `problem` ("" when it does not exist and is not to be made).
int OpenStore(const std::string& given, bool make, std::string* problem) {
  problem->clear();
  std::string dir = given;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();  // "dir/" would follow a link
  struct stat info;
  if (lstat(dir.c_str(), &info) != 0) {
    if (errno != ENOENT) {
      *problem = Errno(Visible(given), "cannot be read");
      return -1;
    }
    if (!make) return -1;
    // Made as `mkdir -p` would, for the user alone (as the data directories are).
    for (size_t at = dir.find('/', 1);; at = dir.find('/', at + 1)) {
      const std::string part = dir.substr(0, at);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
        *problem = Errno(Visible(part), "cannot be made");
        return -1;
      }
      if (at == std::string::npos) break;
    }
    if (lstat(dir.c_str(), &info) != 0) {
      *problem = Errno(Visible(given), "cannot be read");
      return -1;
    }
  }
  if (S_ISLNK(info.st_mode)) {
    *problem = Visible(given) + ": a link, not followed";
    return -1;
  }
  if (!S_ISDIR(info.st_mode)) {
    *problem = Visible(given) + ": not a directory";
    return -1;
  }
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) *problem = Errno(Visible(given), "cannot be opened");
  return fd;
}

enum class Found { Absent, Read, Refused };

// The file `name` in `dirfd`, read only as a regular file reached without a link, and of
// at most MAX_CURVE_FILE bytes.
Found ReadStoreFile(int dirfd, const std::string& name, const std::string& path, std::string* text,
                    std::string* problem) {
  const int fd =
      openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Found::Absent;
    *problem = errno == ELOOP ? path + ": a link, not followed" : Errno(path, "cannot be opened");
    return Found::Refused;
  }
  struct stat info;
  Found found = Found::Read;
  if (fstat(fd, &info) != 0) {
    *problem = Errno(path, "cannot be read");
    found = Found::Refused;
  } else if (!S_ISREG(info.st_mode)) {
    *problem = path + ": not a regular file";
    found = Found::Refused;
  } else if (static_cast<uint64_t>(info.st_size) > MAX_CURVE_FILE) {
    *problem = path + ": " + std::to_string(info.st_size) +
               " bytes, more than a store file holds (" + std::to_string(MAX_CURVE_FILE) + ")";
    found = Found::Refused;
  } else {
    text->assign(MAX_CURVE_FILE + 1, '\0');
    size_t got = 0;
    for (;;) {
      ssize_t n = read(fd, &(*text)[got], text->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *problem = Errno(path, "cannot be read");
        found = Found::Refused;
        break;
      }
      if (n == 0 || (got += static_cast<size_t>(n)) == text->size()) break;
    }
    text->resize(got);
    if (found == Found::Read && got > MAX_CURVE_FILE) {
      *problem =
          path + ": more than a store file holds (" + std::to_string(MAX_CURVE_FILE) + " bytes)";
      found = Found::Refused;
    }
  }
  close(fd);
  return found;
}

// Writes `text` as `name` in `dirfd`: under a temporary name first, then renamed over it.
bool WriteStoreFile(int dirfd, const std::string& name, const std::string& path,
                    const std::string& text, std::string* problem) {
  static unsigned counter = 0;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; attempt++) {
    temporary =
        "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
    fd = openat(dirfd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    *problem = Errno(path, "cannot be written");
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (!ok) *problem = Errno(path, "cannot be written");
  if (ok && fsync(fd) != 0) {
    *problem = Errno(path, "cannot be written");
    ok = false;
  }
  if (close(fd) != 0 && ok) {
    *problem = Errno(path, "cannot be written");
    ok = false;
  }
  if (ok && renameat(dirfd, temporary.c_str(), dirfd, name.c_str()) != 0) {
    *problem = Errno(path, "cannot be replaced");
    ok = false;
  }
  if (!ok) {
    unlinkat(dirfd, temporary.c_str(), 0);
    return false;
  }
  fsync(dirfd);  // the rename itself lasts; a directory that cannot be synced still has it
  return true;
}

// Reads and checks the file of `model` (its model must be `model`).
Found ReadModel(int dirfd, const std::string& dir, const std::string& model,
                std::vector<LearntDischarge>* curves, std::string* problem) {
  const std::string name = CurveFileName(model);
  const std::string path = Visible(dir + "/" + name);
  std::string text, inside, error;
  Found found = ReadStoreFile(dirfd, name, path, &text, problem);
  if (found != Found::Read) return found;
  if (!ParseCurveFile(text, &inside, curves, &error)) {
    *problem = path + ": " + error;
    return Found::Refused;
  }
  if (inside != model) {
    *problem = path + ": holds the curves of model " + Visible(inside) + ", not " + Visible(model);
    return Found::Refused;
  }
  return Found::Read;
}

// The curves of `models` in the store at `dir`; the models whose files cannot be used go to
// `refused`, and their lines say whether `learnt` had curves of them not to be stored.
// False when the store is there but no directory to use.
bool ReadKept(const std::string& dir, const std::vector<std::string>& models,
              const std::vector<LearntDischarge>& learnt, std::vector<LearntDischarge>* all,
              std::vector<std::string>* problems, std::set<std::string>* refused) {
  std::string problem;
  const int dirfd = OpenStore(dir, false, &problem);
  if (dirfd < 0) {
    if (!problem.empty()) problems->push_back(problem + ": learnt curves neither read nor stored");
    return problem.empty();
  }
  std::set<std::string> seen;
  for (const std::string& model : models) {
    if (model.empty() || !seen.insert(model).second) continue;
    std::vector<LearntDischarge> curves;
    Found found = ReadModel(dirfd, dir, model, &curves, &problem);
    if (found == Found::Refused) {
      const bool news = std::any_of(learnt.begin(), learnt.end(),
                                    [&](const LearntDischarge& d) { return d.model == model; });
      problems->push_back(problem + ": not used, left as it is" +
                          (news ? "; the curves of model " + Visible(model) + " not stored" : ""));
      refused->insert(model);
    }
    if (found == Found::Read) all->insert(all->end(), curves.begin(), curves.end());
  }
  close(dirfd);
  return true;
}

}  // namespace

std::string DefaultCurveStore() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/battest/curves";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/battest/curves";
  return "";
}

std::string CurveFileName(const std::string& model) {
  std::string name;
  for (size_t i = 0; i < model.size(); i++) {
    const unsigned char c = static_cast<unsigned char>(model[i]);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || (c == '.' && i > 0);
    if (plain) {
      name += static_cast<char>(c);
    } else {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      name += code;
    }
  }
  if (name.size() + sizeof SUFFIX - 1 > MAX_FILE_NAME) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a of the whole model
    for (unsigned char c : model) hash = (hash ^ c) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
    size_t keep = MAX_FILE_NAME - (sizeof SUFFIX - 1) - std::strlen(tail);
    if (name[keep - 1] == '%') {  // not within a %XX
      keep -= 1;
    } else if (name[keep - 2] == '%') {
      keep -= 2;
    }
    name = name.substr(0, keep) + tail;
  }
  return name + SUFFIX;
}

std::string FormatCurveFile(const std::string& model, const std::vector<LearntDischarge>& curves) {
  std::string text = std::string(HEADER) + "\nmodel " + Escape(model) + "\n";
  for (const LearntDischarge& d : curves) {
    char line[64];
    text += "curve\nsource " + Escape(d.source) + "\nfirst " + FormatIso(d.first) + "\nlast " +
            FormatIso(d.last) + "\nstored " + FormatIso(d.stored) + "Z\n";
    std::snprintf(line, sizeof line, "hours %.6f\nvolts", d.curve.hours);
    text += line;
    for (double v : d.curve.volts) {
      std::snprintf(line, sizeof line, " %.6f", v);
      text += line;
    }
    text += "\nend curve\n";
  }
  return text + "end " + std::to_string(curves.size()) + "\n";
}

bool ParseCurveFile(std::string_view text, std::string* model, std::vector<LearntDischarge>* curves,
                    std::string* error) {
  curves->clear();
  std::vector<std::string_view> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) break;  // a last line cut short: the end is missing
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (lines.empty() || lines[0] != HEADER) {
    const std::string_view first = text.substr(0, text.find('\n'));
    *error =
        first.substr(0, sizeof HEADER_START - 1) == HEADER_START
            ? "a store file of another version than this report's (" + std::string(HEADER) + ")"
            : "not a store of learnt curves (its first line is not '" + std::string(HEADER) + "')";
    return false;
  }
  size_t n = 1, looked = 1;  // the next line; the last looked at
  auto fail = [&](const std::string& what) {
    *error = looked >= lines.size()
                 ? "cut short: it does not end with 'end' and its count of curves"
                 : "line " + std::to_string(looked + 1) + ": " + what;
    return false;
  };
  // The value of the line `key VALUE` that must come next.
  auto field = [&](const char* key, std::string_view* value) {
    looked = n;
    const std::string_view line = n < lines.size() ? lines[n] : std::string_view();
    const size_t length = std::strlen(key);
    if (n >= lines.size() || line.substr(0, length) != key || line.size() <= length ||
        line[length] != ' ') {
      return false;
    }
    *value = line.substr(length + 1);
    n++;
    return true;
  };
  std::string_view value;
  if (!field("model", &value) || !Unescape(value, model) || model->empty()) {
    return fail("expected 'model' and a model's name");
  }
  while (n < lines.size() && lines[n] == "curve") {
    n++;
    LearntDischarge d;
    d.model = *model;
    double hours = 0;
    Seconds stored = 0;
    if (!field("source", &value) || !Unescape(value, &d.source))
      return fail("expected 'source' and a file name");
    if (!field("first", &value) || !ParseStamp(value, &d.first))
      return fail("expected 'first' and a stamp");
    if (!field("last", &value) || !ParseStamp(value, &d.last) || d.last <= d.first) {
      return fail("expected 'last' and a stamp after the first");
    }
    if (!field("stored", &value) || value.empty() || value.back() != 'Z' ||
        !ParseStamp(value.substr(0, value.size() - 1), &stored) || stored <= 0) {
      return fail("expected 'stored' and a time in UTC");
    }
    d.stored = stored;
    if (!field("hours", &value) || !ParseNumber(value, &hours) ||
        !(hours > 0 && hours <= MAX_HOURS)) {
      return fail("expected 'hours' and a discharge's length");
    }
    d.curve.hours = hours;
    if (!field("volts", &value))
      return fail("expected 'volts' and " + std::to_string(LEARNT_POINTS) + " voltages");
    int count = 0;
    for (size_t from = 0; from <= value.size() && count <= LEARNT_POINTS;) {
      size_t space = std::min(value.find(' ', from), value.size());
      double v = 0;
      if (count == LEARNT_POINTS || !ParseNumber(value.substr(from, space - from), &v) ||
          !(v > 0 && v < 100) || (count > 0 && v <= d.curve.volts[count - 1])) {
        return fail("expected " + std::to_string(LEARNT_POINTS) +
                    " voltages rising with the charge");
      }
      d.curve.volts[count++] = v;
      from = space + 1;
    }
    if (count != LEARNT_POINTS)
      return fail("expected " + std::to_string(LEARNT_POINTS) + " voltages");
    looked = n;
    if (n >= lines.size() || lines[n] != "end curve") return fail("expected 'end curve'");
    n++;
    d.curve.known = true;
    curves->push_back(d);
  }
  looked = n;
  if (n >= lines.size() || lines[n] != "end " + std::to_string(curves->size()) ||
      n + 1 != lines.size() || at != text.size()) {
    return fail("expected 'end " + std::to_string(curves->size()) + "', the last line");
  }
  return true;
}

std::vector<LearntDischarge> MergeCurves(const std::vector<LearntDischarge>& kept,
                                         const std::vector<LearntDischarge>& added, int64_t now,
                                         bool* changed) {
  std::vector<LearntDischarge> result = kept;
  std::set<Seconds> fresh;  // the first stamps of those that came in
  for (const LearntDischarge& a : added) {
    LearntDischarge d = a;
    d.terminal = nullptr;
    d.source = Basename(a.source);
    d.lines.clear();
    d.stored = now;
    auto same = std::find_if(result.begin(), result.end(),
                             [&](const LearntDischarge& k) { return k.first == d.first; });
    if (same == result.end()) {
      result.push_back(d);
    } else if (d.last > same->last) {
      *same = d;
    } else {
      continue;
    }
    fresh.insert(d.first);
  }
  std::stable_sort(
      result.begin(), result.end(),
      [](const LearntDischarge& x, const LearntDischarge& y) { return x.last < y.last; });
  if (result.size() > CURVES_KEPT) result.erase(result.begin(), result.end() - CURVES_KEPT);
  *changed = std::any_of(result.begin(), result.end(),
                         [&](const LearntDischarge& d) { return fresh.count(d.first) > 0; });
  return result;
}

std::vector<LearntDischarge> ReadCurves(const std::string& dir,
                                        const std::vector<std::string>& models,
                                        std::vector<std::string>* problems) {
  std::vector<LearntDischarge> all;
  std::set<std::string> refused;
  ReadKept(dir, models, {}, &all, problems, &refused);
  return all;
}

void StoreCurves(const std::string& dir, const std::vector<LearntDischarge>& learnt, int64_t now,
                 std::vector<std::string>* stored, std::vector<std::string>* problems) {
  std::vector<std::string> models;
  for (const LearntDischarge& d : learnt) {
    if (!d.model.empty() && std::find(models.begin(), models.end(), d.model) == models.end()) {
      models.push_back(d.model);
    }
  }
  if (models.empty()) return;
  std::string problem;
  const int dirfd = OpenStore(dir, true, &problem);
  if (dirfd < 0) {
    problems->push_back(problem + ": learnt curves not stored");
    return;
  }
  // One report at a time reads, adds to and writes a model's file; a lock that cannot be
  // taken (a file system without locks) leaves the rename to keep the files whole.
  while (flock(dirfd, LOCK_EX) != 0 && errno == EINTR) {
  }
  for (const std::string& model : models) {
    std::vector<LearntDischarge> kept, added;
    if (ReadModel(dirfd, dir, model, &kept, &problem) == Found::Refused) {
      problems->push_back(problem + ": left as it is; the curves of model " + Visible(model) +
                          " not stored");
      continue;
    }
    for (const LearntDischarge& d : learnt) {
      if (d.model == model) added.push_back(d);
    }
    bool changed = false;
    const std::vector<LearntDischarge> result = MergeCurves(kept, added, now, &changed);
    if (!changed) continue;
    const std::string path = Visible(dir + "/" + CurveFileName(model));
    if (!WriteStoreFile(dirfd, CurveFileName(model), path, FormatCurveFile(model, result),
                        &problem)) {
      problems->push_back(problem + ": the curves of model " + Visible(model) + " not stored");
      continue;
    }
    size_t fresh = 0;
    for (const LearntDischarge& d : result) fresh += d.stored == now;
    const LearntDischarge* latest = nullptr;
    for (const LearntDischarge& d : added) {
      if (latest == nullptr || d.last > latest->last) latest = &d;
    }
    stored->push_back("Stored in " + path + ": " + std::to_string(fresh) + " curve" +
                      (fresh == 1 ? "" : "s") + " of model " + Visible(model) + ", the latest " +
                      Describe(*latest) + "; " + std::to_string(result.size()) + " kept");
  }
  close(dirfd);  // and the lock with it
}

std::vector<LearntDischarge> ReadAndStoreCurves(const std::string& dir,
                                                const std::vector<std::string>& models,
                                                const std::vector<LearntDischarge>& learnt,
                                                int64_t now, std::vector<std::string>* stored,
                                                std::vector<std::string>* problems) {
  std::vector<LearntDischarge> read;
  std::set<std::string> refused;  // said once, as read
  if (!ReadKept(dir, models, learnt, &read, problems, &refused)) return read;
  std::vector<LearntDischarge> storable;
  for (const LearntDischarge& d : learnt) {
    if (refused.count(d.model) == 0) storable.push_back(d);
  }
  StoreCurves(dir, storable, now, stored, problems);
  return read;
}

std::string ListCurves(const std::string& dir, std::vector<std::string>* problems) {
  std::string problem;
  const int dirfd = OpenStore(dir, false, &problem);
  if (dirfd < 0) {
    if (!problem.empty()) {
      problems->push_back(problem + ": not read");
      return "";
    }
    return "No learnt curves stored: " + Visible(dir) + " does not exist.\n";
  }
  std::vector<std::string> names;
  const int listed = dup(dirfd);
  DIR* d = listed < 0 ? nullptr : fdopendir(listed);
  if (d == nullptr) {
    problems->push_back(Errno(Visible(dir), "cannot be listed"));
    if (listed >= 0) close(listed);
    close(dirfd);
    return "";
  }
  while (const dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    const size_t suffix = sizeof SUFFIX - 1;
    if (name[0] != '.' && name.size() > suffix &&
        name.compare(name.size() - suffix, suffix, SUFFIX) == 0) {
      names.push_back(name);
    }
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  std::string text = "Learnt curves in " + Visible(dir) +
                     " (newest first; a report takes the newest of its model):\n";
  size_t count = 0;
  for (const std::string& name : names) {
    const std::string path = Visible(dir + "/" + name);
    std::string content, model, error;
    std::vector<LearntDischarge> curves;
    if (ReadStoreFile(dirfd, name, path, &content, &problem) != Found::Read) {
      problems->push_back(problem + ": not used, left as it is");
      continue;
    }
    if (!ParseCurveFile(content, &model, &curves, &error)) {
      problems->push_back(path + ": " + error + ": not used, left as it is");
      continue;
    }
    if (CurveFileName(model) != name) {
      problems->push_back(path + ": holds the curves of model " + Visible(model) +
                          ", whose file is " + Visible(CurveFileName(model)) +
                          ": not used, left as it is");
      continue;
    }
    for (size_t i = curves.size(); i-- > 0;) {
      std::string label = i + 1 == curves.size() ? Visible(model) : "";
      label.resize(std::max<size_t>(label.size(), 16), ' ');
      text += "  " + label + " " + Describe(curves[i]) + ", stored " +
              LocalStamp(curves[i].stored) + "\n";
      count++;
    }
  }
  close(dirfd);
  if (count == 0) text += "  none\n";
  return text;
}

}  // namespace report
