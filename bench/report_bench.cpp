// What the battery log report costs. `report_bench [long | fleet [N [DIR]]]` (both
// without one):
//   long   a long log: 100,000 lines (months of made-up discharges and charges),
//          summarised, written as CSV and plotted; the time of each step in this process,
//          then of the whole command as a user runs it;
//   fleet  a fleet's uploads: N terminals (200 if not given) of 20 models, a month of logs
//          each (five uploads), every day a shift on battery, run empty and held there
//          where the battery does not last it, and the rest of the day on the charger. The
//          whole command on all of them with a store of learnt curves: first empty (every
//          model's curves learnt and stored), then read (nothing new), then with --png and
//          with --html (and the page's size), then on each terminal's last upload alone
//          (the store's curves taken). With DIR the logs, the store, the picture and the
//          page are left there to look at; else all is in a temporary directory, removed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/csv.h"
#include "tools/report/plot.h"
#include "tools/report/simulated_log.h"
#include "tools/report/summary_text.h"

extern char** environ;

namespace {

constexpr size_t LINES = 100000;

// Discharges of 10 hours, each followed by 4 hours on external power.
std::string LongLog() {
  report::LogSimulator log(report::ToSeconds({2026, 1, 5, 8, 0, 0}), 4200000, 3400000);
  log.SetNoise(1500);
  while (log.Readings().size() < LINES) {
    log.Discharge(10, [](double h) { return 3400000 + 790000 * report::LithiumShape(h / 10.5); });
    log.ExternalPower(4);
  }
  std::string text;
  for (size_t i = 0; i < LINES; i++) text += report::FormatLogLine(log.Readings()[i]);
  return text;
}

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Save(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f != nullptr && std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return f != nullptr && std::fclose(f) == 0 && ok;
}

// Runs battest-report with `args`, its output to /dev/null; its exit status.
int Command(const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(BATTEST_REPORT)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, BATTEST_REPORT, &actions, nullptr, argv.data(), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int MODELS = 20, UPLOADS = 5;

// A fleet's month, each terminal's uploads in DIR/t<N>/; each file's path goes to `files`,
// the last of each terminal also to `last`. Each terminal of each model works a shift a day
// on battery and spends the rest of the day on its charger. Models differ in their cells'
// voltages and their kernels' unit; batteries in how long they last (the worn ones run
// empty within a long shift and are held there until the charger); shifts in length; and
// each log ends at an hour of its own, some on the charger. Returns the number of lines.
size_t WriteFleet(const std::string& dir, int terminals, std::vector<std::string>* files,
                  std::vector<std::string>* last) {
  uint32_t random = 2026;
  auto uniform = [&random](double low, double high) {
    random = random * 1103515245u + 12345u;
    return low + (high - low) * ((random >> 8) & 0xFFFF) / 65535.0;
  };
  size_t lines = 0;
  for (int i = 0; i < terminals; i++) {
    const int model = i % MODELS;
    const double scale = model % 4 == 3 ? 1e3 : 1e6;  // mV, else µV
    const double full = model % 3 == 0 ? 4.35 : 4.2, empty = model % 2 == 0 ? 3.3 : 3.4;
    const report::Seconds start = report::ToSeconds({2026, 5, 1, 6, 0, 0}) +
                                  static_cast<report::Seconds>(uniform(0, 3 * 3600));
    report::LogSimulator log(start, static_cast<int32_t>(full * scale),
                             static_cast<int32_t>(empty * scale));
    log.SetNoise(static_cast<int32_t>(0.002 * scale));
    const double lasts = uniform(8, 16);  // hours from full to empty at this terminal's load
    const double end = 29 * 24 + uniform(0, 24);
    for (double hours = 0; hours < end;) {
      const double shift = std::min(uniform(6, 14), end - hours);
      log.Discharge(shift, [=](double h) {
        return scale * (empty + (full - empty - 0.01) * report::LithiumShape(std::min(h / lasts, 1.0)));
      });
      hours += shift;
      const double charger = std::min(24 - shift, end - hours);
      if (charger > 0) log.ExternalPower(charger);
      hours += charger;
    }
    const std::string home = dir + "/t" + std::to_string(i);
    mkdir(home.c_str(), 0700);
    const std::vector<report::Reading>& all = log.Readings();
    lines += all.size();
    for (int upload = 0; upload < UPLOADS; upload++) {
      const size_t from = all.size() * upload / UPLOADS, to = all.size() * (upload + 1) / UPLOADS;
      const report::CivilTime at = report::ToCivil(all[to - 1].time);
      char name[96];
      std::snprintf(name, sizeof name, "/r_FLEET-%02d_%04d%02d%02d%02d%02d.txt", model, at.year,
                    at.month, at.day, at.hour, at.minute);
      std::string text;
      for (size_t k = from; k < to; k++) text += report::FormatLogLine(all[k]);
      if (!Save(home + name, text)) std::fprintf(stderr, "cannot write %s%s\n", home.c_str(), name);
      files->push_back(home + name);
    }
    last->push_back(files->back());
  }
  return lines;
}

// The command on `logs` with the store in `dir`/curves and `more` options, timed.
void Timed(const char* what, std::vector<std::string> logs, const std::string& dir,
           const std::vector<std::string>& more = {}) {
  logs.insert(logs.end(), {"--curves", dir + "/curves"});
  logs.insert(logs.end(), more.begin(), more.end());
  const auto start = std::chrono::steady_clock::now();
  const int status = Command(logs);
  std::printf("%-40s %7.3f s (exit %d)\n", what, Since(start), status);
}

void Fleet(const std::string& dir, int terminals) {
  std::vector<std::string> files, last;
  const size_t lines = WriteFleet(dir, terminals, &files, &last);
  std::printf("fleet: %d terminals of %d models, a month each, %zu files, %zu lines\n", terminals,
              MODELS, files.size(), lines);
  std::filesystem::remove_all(dir + "/curves");  // a DIR used before: its store emptied
  Timed("all the uploads, the store empty", files, dir);
  Timed("all the uploads, the store read", files, dir);
  Timed("the same with --png", files, dir, {"--png", dir + "/fleet.png"});
  Timed("the same with --html", files, dir, {"--html", dir + "/fleet.html"});
  std::error_code error;
  const uintmax_t page = std::filesystem::file_size(dir + "/fleet.html", error);
  std::printf("page: %.2f MB\n", error ? 0.0 : static_cast<double>(page) / 1e6);
  Timed("each terminal's last upload alone", last, dir);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  const int fleetSize = which == "fleet" && argc > 2 ? std::atoi(argv[2]) : 200;
  if (argc > (which == "fleet" ? 4 : 2) || (which != "" && which != "long" && which != "fleet") ||
      fleetSize < 1) {
    std::fputs("usage: report_bench [long | fleet [N [DIR]]]\n", stderr);
    return 2;
  }
  const bool keep = which == "fleet" && argc > 3;  // the fleet's files, in DIR
  std::string dir = keep ? argv[3] : "";
  char pattern[] = "/tmp/report-bench-XXXXXX";
  if (keep && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "report_bench: cannot make %s: %s\n", dir.c_str(), std::strerror(errno));
    return 1;
  }
  if (!keep) {
    if (mkdtemp(pattern) == nullptr) return 1;
    dir = pattern;
  }
  if (which == "fleet") {
    Fleet(dir, fleetSize);
    if (!keep) std::filesystem::remove_all(dir);
    return 0;
  }
  const std::string log = dir + "/r_BENCH_202605010000.txt";
  // The long log.
  std::string text = LongLog();
  if (!Save(log, text)) return 1;
  std::printf("log: %zu lines, %zu bytes\n", LINES, text.size());

  auto start = std::chrono::steady_clock::now();
  std::vector<report::LogFile> files{report::ReadLogFile(log)};
  std::printf("read and parse      %7.3f s\n", Since(start));
  start = std::chrono::steady_clock::now();
  std::vector<report::Terminal> terminals = report::BuildTerminals(files);
  const report::Summary summary = report::Summarise(terminals[0]);
  const std::string summaryText = report::SummaryText(terminals[0], summary);
  std::printf("time line, summary  %7.3f s (%zu segment(s))\n", Since(start),
              terminals[0].segments.size());
  start = std::chrono::steady_clock::now();
  std::string error = report::WriteCsv(dir + "/out.csv", terminals);
  std::printf("CSV                 %7.3f s %s\n", Since(start), error.c_str());
  start = std::chrono::steady_clock::now();
  error = report::WritePng(dir + "/out.png", terminals, {summary});
  std::printf("PNG (gnuplot)       %7.3f s %s\n", Since(start), error.c_str());

  start = std::chrono::steady_clock::now();
  int status = Command({log, "--csv", dir + "/cmd.csv", "--png", dir + "/cmd.png", "--no-curves"});
  std::printf("whole command       %7.3f s (battest-report LOG --csv --png, exit %d)\n",
              Since(start), status);
  if (which.empty()) Fleet(dir, fleetSize);
  std::filesystem::remove_all(dir);
  return 0;
}
