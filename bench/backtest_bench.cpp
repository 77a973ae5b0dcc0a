// The time left to 0 % against the truth on made-up and measured cells: the figures of
// the backtest.
//   backtest_bench [CELLS] [design|held-out|both|bench|all|measured] [-v] [--learnt]
//                  [--seed N] [--stretch HOURS] [--noise MV] [--min V] [--max V] [--every N]
//                  [--logs DIR]
// prints, for each family of cells, the median relative error over all cuts and over the
// cuts at 40 % or less, how often the 80 % interval held the truth, and per cut level.
// "both" is the design and held-out families; "bench" the family of the bench's own curve
// and the bench's own cell run from 45 % as on the bench; "all" all of them. -v lists
// every cut; --learnt starts each cell's log (of any family) with a discharge to 0 % of
// another cell of its model, whose curve the estimate learns; --seed draws other design
// cells (the held-out and bench families keep theirs). "measured" replays the measured
// discharges of the design set ($BATTEST_CELLS, else the build's) and prints the figures
// of the log alone, with the store of the cell's earlier discharges, and of a straight
// line, apart, in all and per cell; --stretch, --noise, --min, --max and --every change
// how they are replayed (10 h, 3 mV, the terminal's 3.4 and 4.2 V, every discharge);
// --logs DIR writes, for each cell, its discharge so replayed that runs longest before
// 30 %, cut there, as an upload in DIR for the report to read, instead of the figures.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/report/backtest.h"
#include "tools/report/measured_cells.h"
#include "tools/report/stamp.h"

namespace {

std::string Hours(double seconds) { return report::FormatDuration(std::llround(seconds)); }

void Print(const char* name, const std::vector<report::Cut>& cuts, bool verbose) {
  report::BacktestFigures f = report::Figures(cuts);
  std::printf("%s: %zu cuts, %zu with an estimate\n", name, f.cuts, f.known);
  std::printf("  median relative error, all cuts        %.3f\n", f.medianError);
  std::printf("  median relative error, 40 %% or less    %.3f (%zu cuts)\n", f.medianErrorLow,
              f.lowCuts);
  std::printf("  80 %% interval holds the truth          %.1f %% (median width %.2f of the truth)\n",
              f.coverage * 100, f.medianWidth);
  std::printf("  no estimate after an hour of falling   %zu\n", f.missingAfterHour);
  std::printf("  median relative error of an estimate that knew the charge and the last 3 h's "
              "load: %.3f; and the whole log's mean load: %.3f\n",
              f.medianErrorInformed, f.medianErrorInformedWhole);
  for (int percent : {80, 60, 40, 30, 20, 10}) {
    std::vector<report::Cut> level;
    for (const report::Cut& c : cuts) {
      if (c.percent == percent) level.push_back(c);
    }
    report::BacktestFigures l = report::Figures(level);
    std::printf("  cut at %2d %%: %3zu cuts, median error %.3f, interval holds %.0f %%\n", percent,
                l.cuts, l.medianError, l.coverage * 100);
  }
  for (const char* load : {"constant", "stepped", "varying"}) {
    std::vector<report::Cut> some;
    for (const report::Cut& c : cuts) {
      if (c.load == load) some.push_back(c);
    }
    report::BacktestFigures l = report::Figures(some);
    std::printf("  %-8s load: %3zu cuts, median error %.3f, median ln(estimate/truth) %+.3f, "
                "interval holds %.0f %%, the informed references' median errors %.3f (last 3 h), "
                "%.3f (whole log)\n",
                load, l.cuts, l.medianError, l.medianLogRatio, l.coverage * 100,
                l.medianErrorInformed, l.medianErrorInformedWhole);
  }
  if (!verbose) return;
  for (const report::Cut& c : cuts) {
    std::printf("  cell %3d at %2d %%: truth %6.2f h, informed %6.2f h, estimate %6.2f h (%6.2f to %6.2f)%s  %s\n",
                c.cell, c.percent, c.truth / 3600, c.informed / 3600, c.estimate / 3600, c.low / 3600,
                c.high / 3600, c.known ? "" : " none", c.cellText.c_str());
  }
}

// The three estimates of the measured discharges, in all and per cell.
void PrintMeasured(const report::MeasuredCuts& m, bool verbose) {
  const std::pair<const char*, const std::vector<report::Cut>*> ways[] = {
      {"the log alone", &m.alone},
      {"with the store (the cell's earlier discharges)", &m.stored},
      {"a straight line through the last hour's percentage", &m.naive}};
  for (const auto& [name, cuts] : ways) {
    std::printf("Measured cells, %s:\n", name);
    Print("  all", *cuts, false);
    std::vector<std::string> groups;
    for (const report::Cut& c : *cuts) {
      if (std::find(groups.begin(), groups.end(), c.group) == groups.end())
        groups.push_back(c.group);
    }
    for (const std::string& group : groups) {
      std::vector<report::Cut> some;
      for (const report::Cut& c : *cuts) {
        if (c.group == group) some.push_back(c);
      }
      report::BacktestFigures f = report::Figures(some);
      std::printf(
          "  %-34s %4zu cuts, median error %.3f, at 40 %% or less %.3f, interval holds %.0f %% "
          "(median width %.2f), median ln(estimate/truth) %+.3f\n",
          group.c_str(), f.cuts, f.medianError, f.medianErrorLow, f.coverage * 100,
          f.medianWidth, f.medianLogRatio);
    }
    if (!verbose) continue;
    for (const report::Cut& c : *cuts) {
      std::printf("  at %2d %%: truth %6.2f h, estimate %6.2f h (%6.2f to %6.2f)%s  %s\n",
                  c.percent, c.truth / 3600, c.estimate / 3600, c.low / 3600, c.high / 3600,
                  c.known ? "" : " none", c.cellText.c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int cells = argc > 1 ? std::atoi(argv[1]) : 200;
  std::string which = argc > 2 ? argv[2] : "both";
  bool verbose = false, learnt = false, usage = false;
  uint32_t seed = 1;
  report::MeasuredOptions measured;
  std::string logs;  // where to write the measured cells' logs, cut at 30 %
  for (int i = 3; i < argc; i++) {
    if (std::strcmp(argv[i], "-v") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "--learnt") == 0) {
      learnt = true;
    } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      seed = static_cast<uint32_t>(std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--stretch") == 0 && i + 1 < argc &&
               std::atof(argv[i + 1]) > 0) {
      measured.stretchHours = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--noise") == 0 && i + 1 < argc &&
               std::atof(argv[i + 1]) >= 0) {
      measured.noiseVolts = std::atof(argv[++i]) / 1000;
    } else if (std::strcmp(argv[i], "--min") == 0 && i + 1 < argc && std::atof(argv[i + 1]) > 0) {
      measured.voltsMin = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--max") == 0 && i + 1 < argc && std::atof(argv[i + 1]) > 0) {
      measured.voltsMax = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--stored-first") == 0) {
      measured.stored = report::StoredRule::First;
    } else if (std::strcmp(argv[i], "--stored-mean") == 0 && i + 1 < argc &&
               std::atoi(argv[i + 1]) > 0) {
      measured.stored = report::StoredRule::Mean;
      measured.meanOf = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--every") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      measured.every = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--logs") == 0 && i + 1 < argc) {
      logs = argv[++i];
    } else {
      usage = true;
    }
  }
  if (usage || cells <= 0 || !(measured.voltsMax > measured.voltsMin) ||
      (which != "design" && which != "held-out" && which != "both" && which != "bench" &&
       which != "all" && which != "measured")) {
    std::fprintf(stderr,
                 "usage: backtest_bench [CELLS] [design|held-out|both|bench|all|measured] [-v] "
                 "[--learnt] [--seed N] [--stretch HOURS] [--noise MV] [--min V] [--max V] "
                 "[--every N] [--logs DIR]\n");
    return 2;
  }
  if (which == "measured") {
    std::vector<report::MeasuredDischarge> discharges;
    std::string error;
    if (!report::ReadMeasuredCells(report::MeasuredCellsDir(), &discharges, &error)) {
      std::fprintf(stderr, "backtest_bench: %s\n", error.c_str());
      return 1;
    }
    std::printf(
        "Time left to 0 %%: %zu measured discharges of %s, stretched to %.1f h, noise %.1f mV, "
        "limits %.2f to %.2f V, each log cut at 80, 60, 40, 30, 20 and 10 %%\n",
        discharges.size(), report::MeasuredCellsDir().c_str(), measured.stretchHours,
        measured.noiseVolts * 1000, measured.voltsMin, measured.voltsMax);
    if (!logs.empty()) {
      if (!report::WriteMeasuredLogs(discharges, measured, 30, logs, &error)) {
        std::fprintf(stderr, "backtest_bench: %s\n", error.c_str());
        return 1;
      }
      std::printf("each cell's longest discharge to 30 %%, written as a log in %s\n",
                  logs.c_str());
      return 0;
    }
    PrintMeasured(report::RunMeasuredBacktest(discharges, measured), verbose);
    return 0;
  }
  std::printf("Time left to 0 %%: %d made-up cells of each family, each log cut at 80, 60, 40, "
              "30, 20 and 10 %%\n",
              cells);
  if (which == "design" || which == "both" || which == "all") {
    Print(learnt ? "Design cells, each after a discharge of its model to learn" : "Design cells",
          report::RunBacktest(report::CellFamily::Design, seed, cells, learnt), verbose);
  }
  if (which == "held-out" || which == "both" || which == "all") {
    Print(learnt ? "Held-out cells, each after a discharge of its model to learn" : "Held-out cells",
          report::RunBacktest(report::CellFamily::HeldOut, 2, cells, learnt), verbose);
  }
  if (which == "bench" || which == "all") {
    Print("Cells with the bench's own curve (apart from the figures above)",
          report::RunBacktest(report::CellFamily::Bench, 3, cells, learnt), verbose);
    for (bool after : {false, true}) {
      std::printf("The bench's own cell, 200 mA through 0.1 ohm, from 45 %% to 0 %%%s:\n",
                  after ? ", after a run of its own from full to 0 % to learn" : "");
      for (const report::Cut& c : report::RunBenchCell(0.45, {39, 27, 15, 5}, after)) {
        std::printf("  at %2d %%: %s (%s to %s), 0 %% came %s later\n", c.percent,
                    Hours(c.estimate).c_str(), Hours(c.low).c_str(), Hours(c.high).c_str(),
                    Hours(c.truth).c_str());
      }
    }
  }
  return 0;
}
