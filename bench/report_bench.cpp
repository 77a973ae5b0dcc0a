// What the battery log report costs. `report_bench [long|fleet]` (both without one):
//   long   a long log: 100,000 lines (months of made-up discharges and charges),
//          summarised, written as CSV and plotted; the time of each step in this process,
//          then of the whole command as a user runs it;
//   fleet  a fleet's uploads: 200 terminals of 20 models, a month of logs each (a file a
//          week), every day a discharge to empty, hours held empty and on external power;
//          the whole command on all of them with a store of learnt curves, first empty
//          (every model's curves learnt and stored), then again (the store read, nothing
//          new), then on each terminal's last week alone (the store's curves taken).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

constexpr int TERMINALS = 200, MODELS = 20, DAYS = 30, WEEK_FILES = 5;

// The fleet's uploads in `dir`, a directory a terminal; each file's path goes to `files`,
// the last of each terminal also to `last`. Returns the number of lines.
size_t WriteFleet(const std::string& dir, std::vector<std::string>* files,
                  std::vector<std::string>* last) {
  size_t lines = 0;
  const report::Seconds start = report::ToSeconds({2026, 5, 1, 8, 0, 0});
  for (int t = 0; t < TERMINALS; t++) {
    // Each its own: a start a few minutes apart, a discharge of 9 to 11 h, noise.
    report::LogSimulator log(start + t * 7 * 60, 4200000, 3400000);
    log.SetNoise(1000 + 100 * (t % 7));
    const double hours = 9 + 0.5 * (t % 5);
    auto volts = [hours](double h) {
      return std::max(3400000.0, 3400000 + 790000 * report::LithiumShape(h / hours));
    };
    for (int day = 0; day < DAYS; day++) {
      log.Discharge(hours + 4, volts);  // empty after `hours`, then held there
      log.ExternalPower(24 - hours - 4 - 0.2);
    }
    log.Discharge(hours / 2, volts);  // the month ends half-way through a discharge
    const std::string home = dir + "/t" + std::to_string(t);
    mkdir(home.c_str(), 0700);
    const std::vector<report::Reading>& all = log.Readings();
    lines += all.size();
    for (int week = 0; week < WEEK_FILES; week++) {
      const size_t from = all.size() * week / WEEK_FILES, to = all.size() * (week + 1) / WEEK_FILES;
      const report::CivilTime at = report::ToCivil(all[to - 1].time);
      char name[96];
      std::snprintf(name, sizeof name, "/r_M%02d_%04d%02d%02d%02d%02d.txt", t % MODELS, at.year,
                    at.month, at.day, at.hour, at.minute);
      std::string text;
      for (size_t i = from; i < to; i++) text += report::FormatLogLine(all[i]);
      if (!Save(home + name, text)) std::fprintf(stderr, "cannot write %s%s\n", home.c_str(), name);
      files->push_back(home + name);
    }
    last->push_back(files->back());
  }
  return lines;
}

void Fleet(const std::string& dir) {
  std::vector<std::string> files, last;
  size_t lines = WriteFleet(dir, &files, &last);
  std::printf("fleet: %d terminals of %d models, %d days each, %zu files, %zu lines\n", TERMINALS,
              MODELS, DAYS, files.size(), lines);
  std::vector<std::string> args = files;
  args.insert(args.end(), {"--curves", dir + "/curves"});
  auto start = std::chrono::steady_clock::now();
  int status = Command(args);
  std::printf("all the uploads, the store empty   %7.3f s (exit %d)\n", Since(start), status);
  start = std::chrono::steady_clock::now();
  status = Command(args);
  std::printf("all the uploads, the store read    %7.3f s (exit %d)\n", Since(start), status);
  args = last;
  args.insert(args.end(), {"--curves", dir + "/curves"});
  start = std::chrono::steady_clock::now();
  status = Command(args);
  std::printf("each terminal's last week alone    %7.3f s (exit %d)\n", Since(start), status);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  if (argc > 2 || (which != "" && which != "long" && which != "fleet")) {
    std::fputs("usage: report_bench [long|fleet]\n", stderr);
    return 2;
  }
  char pattern[] = "/tmp/report-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern, log = dir + "/r_BENCH_202605010000.txt";
  if (which == "fleet") {
    Fleet(dir);
    std::filesystem::remove_all(dir);
    return 0;
  }
  // The long log.
  std::string text = LongLog();
  if (!Save(log, text)) return 1;
  std::printf("log: %zu lines, %zu bytes\n", LINES, text.size());

  auto start = std::chrono::steady_clock::now();
  std::vector<report::LogFile> files{report::ReadLogFile(log)};
  std::printf("read and parse      %7.3f s\n", Since(start));
  start = std::chrono::steady_clock::now();
  std::vector<report::Terminal> terminals = report::BuildTerminals(files);
  std::string summary = report::SummaryText(terminals[0], report::Summarise(terminals[0]));
  std::printf("time line, summary  %7.3f s (%zu segment(s))\n", Since(start),
              terminals[0].segments.size());
  start = std::chrono::steady_clock::now();
  std::string error = report::WriteCsv(dir + "/out.csv", terminals);
  std::printf("CSV                 %7.3f s %s\n", Since(start), error.c_str());
  start = std::chrono::steady_clock::now();
  error = report::WritePng(dir + "/out.png", terminals);
  std::printf("PNG (gnuplot)       %7.3f s %s\n", Since(start), error.c_str());

  start = std::chrono::steady_clock::now();
  int status = Command({log, "--csv", dir + "/cmd.csv", "--png", dir + "/cmd.png", "--no-curves"});
  std::printf("whole command       %7.3f s (battest-report LOG --csv --png, exit %d)\n",
              Since(start), status);
  if (which.empty()) Fleet(dir);
  std::filesystem::remove_all(dir);
  return 0;
}
