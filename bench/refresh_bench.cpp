// What the main screen's refresh and the battery monitor's pass cost, and the memory a
// day of battery log lines takes. Fake terminal services; the log goes to a temporary
// directory.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "app/main_screen.h"
#include "app/screen_refresh.h"
#include "battery/battery_monitor.h"
#include "host/toolkit/test_hooks.h"
#include "tests/fakes/fake_terminal_services.h"

namespace {

std::string MakeWorkDir() {
  char pattern[] = "/tmp/refresh-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr || chdir(pattern) != 0) std::abort();
  mkdir("data", 0777);
  return pattern;
}

void RemoveWorkDir(const std::string& dir) {
  unlink("data/report.txt");
  rmdir("data");
  if (chdir("/") != 0) std::abort();
  rmdir(dir.c_str());
}

// The main screen on the test display, in a working directory of its own.
struct MainScreen {
  MainScreen() : dir(MakeWorkDir()) {
    test::Reset();
    termsim::ResetToolkit();
    termsim::UseTestDisplay([] { return -1; });
    form = reinterpret_cast<intptr_t>(BuildMainScreen(igUI::Init(0)));
    ResetMainScreenRefresh();
  }
  ~MainScreen() {
    termsim::ResetToolkit();
    RemoveWorkDir(dir);
  }
  int Refresh() {
    igEvent event{0};
    return RefreshMainScreen(&event, form);
  }

  std::string dir;
  intptr_t form;
};

// One refresh with no log line due: the cost paid every 200 ms while the screen is up.
void BM_RefreshWithoutLogLine(benchmark::State& state) {
  MainScreen screen;
  screen.Refresh();  // writes the first line
  for (auto _ : state) benchmark::DoNotOptimize(screen.Refresh());
}
BENCHMARK(BM_RefreshWithoutLogLine);

// One refresh that appends a log line: once a minute at most.
void BM_RefreshWithLogLine(benchmark::State& state) {
  MainScreen screen;
  BatteryState.voltageMax = 4200000;
  BatteryState.voltageMin = 3400000;
  BatteryState.voltageNow = 3800000;
  for (auto _ : state) {
    test::Advance(600001);
    benchmark::DoNotOptimize(screen.Refresh());
  }
  struct stat status;
  if (stat(ReportLog, &status) == 0 && state.iterations() > 0) {
    // Bytes a line takes, and so what a day of lines at the one-minute rate takes.
    double perLine = static_cast<double>(status.st_size) / static_cast<double>(state.iterations() + 1);
    state.counters["bytes_per_line"] = perLine;
    state.counters["bytes_per_day_at_1_min"] = perLine * 24 * 60;
  }
}
BENCHMARK(BM_RefreshWithLogLine);

// One pass of the battery monitor on external power (no kernel file read).
void BM_MonitorPassExternal(benchmark::State& state) {
  test::Reset();
  test::SetPowerSupply(1);
  test::SetBatteryLevel(3);
  for (auto _ : state) BatteryMonitorPass();
}
BENCHMARK(BM_MonitorPassExternal);

// One pass of the battery monitor on battery: reads voltage_now from a file.
void BM_MonitorPassBattery(benchmark::State& state) {
  std::string dir = MakeWorkDir();
  FILE* f = std::fopen("voltage_now", "w");
  std::fputs("3800000\n", f);
  std::fclose(f);
  const char* kernelFiles = BatteryFilesDir;
  BatteryFilesDir = dir.c_str();
  test::Reset();
  test::SetPowerSupply(3);
  for (auto _ : state) BatteryMonitorPass();
  BatteryFilesDir = kernelFiles;
  unlink("voltage_now");
  RemoveWorkDir(dir);
}
BENCHMARK(BM_MonitorPassBattery);

}  // namespace

BENCHMARK_MAIN();
