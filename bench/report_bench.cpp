// What the battery log report costs on a long log: 100,000 lines (months of made-up
// discharges and charges), summarised, written as CSV and plotted. Prints the time of
// each step in this process, then of the whole command as a user runs it.
//   report_bench --fleet DIR [N]  instead writes the uploads of a fleet into DIR (N
//   terminals, 200 if not given, of 20 models, a month of lines each), runs the command on
//   them with --html and --png, and prints its time and the page's size; all is left in DIR.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
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

// Runs `argv` (battest-report ...) with its standard output to /dev/null; its exit status.
int Command(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int status = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A fleet's month: each terminal of each model works a shift a day on battery and spends the
// rest of the day on its charger; batteries differ in how long they last (some are worn),
// shifts in length, and each log ends at an hour of its own, some on the charger.
int Fleet(const std::string& dir, int terminals) {
  uint32_t random = 2026;
  auto uniform = [&random](double low, double high) {
    random = random * 1103515245u + 12345u;
    return low + (high - low) * ((random >> 8) & 0xFFFF) / 65535.0;
  };
  const int models = 20;
  size_t lines = 0;
  std::vector<std::string> args{BATTEST_REPORT};
  for (int i = 0; i < terminals; i++) {
    const int model = i % models;
    const bool millivolts = model % 4 == 3;
    const double scale = millivolts ? 1e3 : 1e6;
    const double full = model % 3 == 0 ? 4.35 : 4.2, empty = model % 2 == 0 ? 3.3 : 3.4;
    const report::Seconds start = report::ToSeconds({2026, 5, 1, 6, 0, 0}) +
                                  static_cast<report::Seconds>(uniform(0, 3 * 3600));
    report::LogSimulator log(start, static_cast<int32_t>(full * scale),
                             static_cast<int32_t>(empty * scale));
    log.SetNoise(static_cast<int32_t>(0.002 * scale));
    const double lasts = uniform(11, 30);  // hours from full to empty at this terminal's load
    const double end = 29 * 24 + uniform(0, 24);
    double hours = 0;
    while (hours < end) {
      const double shift = std::min(uniform(6, 11), end - hours);
      log.Discharge(shift, [=](double h) {
        return scale * (empty + (full - empty - 0.01) * report::LithiumShape(std::min(h / lasts, 1.0)));
      });
      hours += shift;
      const double charger = std::min(24 - shift, end - hours);
      if (charger > 0) log.ExternalPower(charger);
      hours += charger;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/r_FLEET-%02d_2026%02d%02d%02d%02d.txt", model, 6, 1 + i / models % 28,
                  8, i % 60);
    if (!log.Save(dir + name)) {
      std::fprintf(stderr, "cannot write %s%s\n", dir.c_str(), name);
      return 1;
    }
    lines += log.Readings().size();
    args.push_back(dir + name);
  }
  std::printf("fleet: %d terminals of %d models, %zu lines\n", terminals, models, lines);
  const std::string html = dir + "/fleet.html", png = dir + "/fleet.png";
  for (auto& [option, output] : std::vector<std::pair<std::string, std::string>>{
           {"", ""}, {"--png", png}, {"--html", html}}) {
    std::vector<std::string> command = args;
    if (!option.empty()) command.insert(command.end(), {option, output});
    auto start = std::chrono::steady_clock::now();
    int status = Command(command);
    std::printf("battest-report LOGS %-24s %7.3f s (exit %d)\n",
                option.empty() ? "(summaries only)" : (option + " FILE").c_str(), Since(start), status);
  }
  std::printf("page: %.2f MB\n", static_cast<double>(std::filesystem::file_size(html)) / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--fleet") return Fleet(argv[2], argc > 3 ? std::atoi(argv[3]) : 200);
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
  int status = Command({BATTEST_REPORT, log, "--csv", dir + "/cmd.csv", "--png", dir + "/cmd.png"});
  std::printf("whole command       %7.3f s (battest-report LOG --csv --png, exit %d)\n",
              Since(start), status);
  std::filesystem::remove_all(dir);
  return 0;
}
