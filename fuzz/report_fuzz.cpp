// The whole report over several files of raw bytes: the input is split at each "\n\0"
// into files, each "NAME\0TEXT"; their summaries, CSV, plot scripts and data, and page are
// made (gnuplot is not run). The summaries hold no control character but their line ends,
// whatever the names hold. The plot scripts, the PNG's and the page's, made as the report
// makes them when there is a reading to plot, must stay commands of the report's own: every
// line begins with set, unset or plot, whatever the names and lines hold. The page's only
// script is its own, and it holds no element from a name or a line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/csv.h"
#include "tools/report/html.h"
#include "tools/report/log_reader.h"
#include "tools/report/plot.h"
#include "tools/report/summary_text.h"

namespace {

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<report::LogFile> files;
  while (!input.empty() && files.size() < 8) {
    size_t end = input.find(std::string_view("\n\0", 2));
    std::string_view part = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 2);
    size_t nul = part.find('\0');
    std::string name(part.substr(0, nul));
    std::string_view text = nul == std::string_view::npos ? "" : part.substr(nul + 1);
    files.push_back(report::ParseLogText(name, text));
  }
  std::vector<report::Terminal> terminals = report::BuildTerminals(files);
  std::vector<report::Summary> summaries = report::SummariseAll(terminals);
  for (size_t i = 0; i < terminals.size(); i++) {
    std::string text = report::SummaryText(terminals[i], summaries[i]);
    if (text.empty()) std::abort();
    for (char c : text) {
      // A name or line from a log reached the summary as a control character.
      if (c != '\n' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)) std::abort();
    }
  }
  if (terminals.empty()) return 0;
  report::WriteCsv("/dev/null", terminals);
  std::vector<report::SvgPlot> plots;
  const report::GnuplotJob svgs = report::SvgJob(terminals, summaries, &plots);
  const std::string page = report::HtmlPage(terminals, summaries, plots, "");
  size_t scripts = 0;
  for (size_t at = 0; (at = page.find("<script", at)) != std::string::npos; at++) scripts++;
  if (scripts != 1 || page.find("<img") != std::string::npos) {
    std::fprintf(stderr, "an element of the page that is not the report's own\n");
    std::abort();  // text from a log reached the page as markup
  }
  // A PNG is made only when there is a reading to plot.
  bool reading = false;
  for (const report::Terminal& t : terminals) {
    for (const report::Entry& e : t.entries) reading = reading || e.reading.HasBatteryReading();
  }
  if (!reading) return 0;
  for (const std::string& script : {report::PngJob(terminals, summaries, "plot.png").script, svgs.script}) {
    size_t start = 0;
    while (start < script.size()) {
      size_t end = script.find('\n', start);
      std::string_view line = std::string_view(script).substr(start, end - start);
      if (!StartsWith(line, "set ") && !StartsWith(line, "unset ") && !StartsWith(line, "plot ")) {
        std::fprintf(stderr, "a line of a plot script that is not the report's own: %s\n",
                     report::Visible(line).c_str());
        std::abort();  // text from a log reached gnuplot as a command
      }
      start = end == std::string::npos ? script.size() : end + 1;
    }
  }
  return 0;
}
