// The page (--html): one self-contained HTML file that loads nothing from anywhere. At the
// top the fleet, one row per terminal, sortable by any column; then each terminal's
// summary (the lines of SummaryText, as a table) and its plot, an SVG drawn by gnuplot
// held in the page as a data: URL, with the time and value under the pointer.
//
// Every text from a log or a command line is escaped; the page's one style sheet and one
// script are allowed by their SHA-256 in its Content-Security-Policy, which allows nothing
// else (no other script, style, connection, frame, form or base), and images only from
// data: URLs. An SVG shown as an image runs no script and loads nothing. Without
// JavaScript the page reads the same: only sorting and the pointer's readout need it.
#ifndef TOOLS_REPORT_HTML_H
#define TOOLS_REPORT_HTML_H

#include <string>
#include <string_view>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/plot.h"

namespace report {

// `text` for HTML text or a quoted attribute: & < > " ' as references, and control
// characters as \xHH (Visible()).
std::string HtmlEscaped(std::string_view text);

// The page. `plots` go with `terminals` (an empty svg: no plot); `plotError`, when not
// empty, says in place of each plot why there is none.
std::string HtmlPage(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                     const std::vector<SvgPlot>& plots, const std::string& plotError);

// Draws the plots (gnuplot on PATH) and writes the page. Returns "" on success, else what
// went wrong; a page without plots is still written when only gnuplot failed.
std::string WriteHtml(const std::string& path, const std::vector<Terminal>& terminals,
                      const std::vector<Summary>& summaries);

}  // namespace report

#endif
