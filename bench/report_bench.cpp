// What the battery log report costs on a long log: 100,000 lines (months of made-up
// discharges and charges), summarised, written as CSV and plotted. Prints the time of
// each step in this process, then of the whole command as a user runs it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

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

}  // namespace

int main() {
  char pattern[] = "/tmp/report-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern, log = dir + "/r_BENCH_202605010000.txt";
  std::string text = LongLog();
  std::FILE* f = std::fopen(log.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size()) return 1;
  std::fclose(f);
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
  std::string csv = dir + "/cmd.csv", png = dir + "/cmd.png";
  const char* argv[] = {BATTEST_REPORT, log.c_str(), "--csv", csv.c_str(), "--png", png.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, BATTEST_REPORT, &actions, nullptr, const_cast<char**>(argv), environ) == 0) {
    waitpid(pid, &status, 0);
  }
  std::printf("whole command       %7.3f s (battest-report LOG --csv --png, exit %d)\n",
              Since(start), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::filesystem::remove_all(dir);
  return 0;
}
