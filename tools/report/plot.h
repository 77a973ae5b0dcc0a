// The PNG: gnuplot draws voltage (top panel) and filtered percentage (bottom panel, with
// the 40 % threshold) of each terminal, one colour per terminal, against the time since
// that terminal's first stamp, so that terminals tested on different days lie side by
// side. Segments are separate lines, so the gaps between them stay blank. Lines without a
// battery reading are not drawn.
#ifndef TOOLS_REPORT_PLOT_H
#define TOOLS_REPORT_PLOT_H

#include <string>
#include <vector>

#include "tools/report/timeline.h"

namespace report {

constexpr int PLOT_WIDTH = 1200, PLOT_HEIGHT = 700;

// The colour of the curves of the index-th terminal, as 0xRRGGBB.
unsigned CurveColour(size_t index);

// The gnuplot script and its data (in `dataPath`), without running anything.
std::string PlotData(const std::vector<Terminal>& terminals);
std::string PlotScript(const std::vector<Terminal>& terminals, const std::string& dataPath,
                       const std::string& pngPath);

// Writes the PNG by running gnuplot on PATH. Returns "" on success, else what went wrong.
std::string WritePng(const std::string& path, const std::vector<Terminal>& terminals);

}  // namespace report

#endif
