// The pictures, drawn by gnuplot: voltage (top panel) and filtered percentage (bottom
// panel, with the 40 % threshold, the projected path to 0 % with a band of its 80 %
// interval, and shaded stretches probably on external power), both panels on one time
// axis, so that a moment is at the same place in both. Segments are separate lines, so the
// gaps between them stay blank. Lines without a battery reading are not drawn. A curve
// keeps only the readings its picture can show: in each column of two pixels, the first
// and last, and those of the lowest and highest voltage.
//
// A gap in the time drawn longer than a fifth of the rest of it (uploads days apart) is drawn
// GAP_WIDTH of the axis wide, grey, and says how long it was.
//
// The PNG (--png) shows all terminals against the time since each one's first stamp, so
// that terminals tested on different days lie side by side: up to FLEET_FROM - 1 of them
// one colour each, named in a key beside the panels; more as a fleet, the middle, the
// middle 80 % and the whole range of their percentages and voltages as bands, with the
// FLEET_NAMED terminals lowest at their end drawn and named beside the panels.
//
// The page's plots (DrawSvgs) show one terminal each, against its own stamps, as SVG.
#ifndef TOOLS_REPORT_PLOT_H
#define TOOLS_REPORT_PLOT_H

#include <string>
#include <utility>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/timeline.h"

namespace report {

constexpr int PLOT_WIDTH = 1200, PLOT_HEIGHT = 700;
constexpr int SVG_WIDTH = 960, SVG_HEIGHT = 480;
// Stretches probably on external power are shaded in this colour, at this opacity; the
// band of a projection to 0 % is its curve's colour at BAND_ALPHA.
constexpr unsigned POWER_COLOUR = 0xe0a030;
constexpr double POWER_ALPHA = 0.35, BAND_ALPHA = 0.18;
// The page's plots: voltage and percentage in these colours.
constexpr unsigned VOLTAGE_COLOUR = 0x1f77b4, PERCENT_COLOUR = 0x2ca02c;
// From this many terminals on the PNG draws a fleet.
constexpr size_t FLEET_FROM = 9, FLEET_NAMED = 5;
// The fleet's bands: its percentages' middle 80 % in this colour, their whole range at
// FLEET_RANGE_ALPHA of it, the median as a line of it.
constexpr unsigned FLEET_COLOUR = 0x4a6fa5;
constexpr double FLEET_BAND_ALPHA = 0.40, FLEET_RANGE_ALPHA = 0.15;

// The colour of the curves of the index-th terminal (and of the index-th named one in a
// fleet), as 0xRRGGBB.
unsigned CurveColour(size_t index);

// The terminals lowest at their end (filtered percentage, then voltage), at most
// FLEET_NAMED, lowest first; only terminals with a reading.
std::vector<size_t> LowestTerminals(const std::vector<Terminal>& terminals,
                                    const std::vector<Summary>& summaries);

// What gnuplot is given: data files and the script, by their names in its directory. The
// script holds no text from a log but through Quoted(), and reads every reading from the
// data files.
struct GnuplotJob {
  std::vector<std::pair<std::string, std::string>> files;  // name, contents
  std::string script;                                      // run as "plot.gp"
};

// The PNG's job, drawing into `output`. `summaries` go with `terminals`, one for one.
GnuplotJob PngJob(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                  const std::string& output);

// Writes the PNG by running gnuplot on PATH. Returns "" on success, else what went wrong.
std::string WritePng(const std::string& path, const std::vector<Terminal>& terminals,
                     const std::vector<Summary>& summaries);

// A stretch of time [from, to] (stamps, or seconds since a terminal's first stamp) drawn
// from x on a time axis counted in seconds: the pieces between narrowed gaps.
struct AxisPiece {
  Seconds from, to;
  double x;
};
constexpr double GAP_WIDTH = 0.04;

// One terminal's plot on the page: the SVG, and where its axes lie in it, so that the page
// can tell the time and value under the pointer.
struct SvgPanel {
  double top, bottom;  // rows of the SVG
  double low, high;    // the values at the bottom and the top
};
struct SvgPlot {
  std::string svg;            // "" when the terminal has no battery reading
  std::vector<AxisPiece> pieces;  // the time axis, from 0 to `end`
  double end = 0;
  double left = 0, right = 0; // its columns in the SVG
  SvgPanel voltage{}, percent{};
};

// The job drawing each terminal with a reading into "t<index>.svg"; `plots` gets every
// terminal's axes (its svg still empty).
GnuplotJob SvgJob(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                  std::vector<SvgPlot>* plots);
// Draws them, by running gnuplot on PATH. Returns "" on success, else what went wrong.
std::string DrawSvgs(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                     std::vector<SvgPlot>* plots);

}  // namespace report

#endif
