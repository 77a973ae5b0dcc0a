// The PNG: gnuplot draws voltage (top panel) and filtered percentage (bottom panel, with
// the 40 % threshold, the projected path to 0 % with a band of its 80 % interval, and
// shaded stretches probably on external power) of each terminal, one colour per terminal, against the time since
// that terminal's first stamp, so that terminals tested on different days lie side by
// side. Segments are separate lines, so the gaps between them stay blank. Lines without a
// battery reading are not drawn.
#ifndef TOOLS_REPORT_PLOT_H
#define TOOLS_REPORT_PLOT_H

#include <string>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/timeline.h"

namespace report {

constexpr int PLOT_WIDTH = 1200, PLOT_HEIGHT = 700;
// Stretches probably on external power are shaded in this colour, at this opacity; the
// band of a projection to 0 % is its terminal's colour at BAND_ALPHA.
constexpr unsigned POWER_COLOUR = 0xe0a030;
constexpr double POWER_ALPHA = 0.35, BAND_ALPHA = 0.18;

// The colour of the curves of the index-th terminal, as 0xRRGGBB.
unsigned CurveColour(size_t index);

// The files gnuplot reads: every number it draws comes from them, none is in its script.
struct PlotFiles {
  std::string curves;      // time, volts, filtered % of each terminal (PlotData)
  std::string projection;  // time, projected %, its 80 % band, of each estimate (ProjectionData)
  std::string power;       // from, to: stretches probably on external power (PowerData)
};

// The gnuplot script and its data, without running anything. `summaries` go with
// `terminals`, one for one.
std::string PlotData(const std::vector<Terminal>& terminals);
std::string ProjectionData(const std::vector<Terminal>& terminals,
                           const std::vector<Summary>& summaries);
std::string PowerData(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries);
std::string PlotScript(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                       const PlotFiles& files, const std::string& pngPath);

// Writes the PNG by running gnuplot on PATH. Returns "" on success, else what went wrong.
std::string WritePng(const std::string& path, const std::vector<Terminal>& terminals);

}  // namespace report

#endif
