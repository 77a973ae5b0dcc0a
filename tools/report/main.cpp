// battest-report: summary, CSV and plot of battery logs.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/csv.h"
#include "tools/report/html.h"
#include "tools/report/log_reader.h"
#include "tools/report/plot.h"
#include "tools/report/summary_text.h"

namespace {

const char USAGE[] =
    "Usage: battest-report LOG... [--png FILE] [--csv FILE] [--html FILE]\n"
    "Summarises battery logs of the battery test utility, one block per terminal: stamps,\n"
    "duration, voltages, percentages, discharge rate, when 40 % was reached, time left to\n"
    "0 %, and stretches probably on external power. Files named as uploaded,\n"
    "r_<model>_<yyyymmddHHMM>.txt, are grouped by model; any other file is a terminal\n"
    "of its own. The time left learns the cell's curve from a discharge to empty at a\n"
    "steady load among the uploads of the same model (or earlier in the same file).\n"
    "\n"
    "  --csv FILE  also write every valid line as CSV (ISO 8601 time, volts, percentages)\n"
    "  --png FILE  also plot voltage and filtered percentage, 1200x700 (runs gnuplot)\n"
    "  --html FILE also write one page for a browser: the terminals' table, each one's\n"
    "              summary and plot (runs gnuplot)\n"
    "  --help      show this text\n"
    "\n"
    "Malformed lines are reported on standard error as FILE:LINE: what is wrong, and\n"
    "skipped. A stamp earlier than the one before, or later by more than 20 minutes,\n"
    "starts a new segment. Exit status: 0 done; 1 a log unreadable or without a valid\n"
    "line, or an output not written (the rest is still done); 2 wrong usage, or an\n"
    "output that is one of the logs or another output.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "battest-report: %s\n(see battest-report --help)\n", message.c_str());
  return 2;
}

// Whether two paths name one file: the same device and inode, or, for a file not made
// yet, the same name in the same directory.
bool SameFile(const std::string& a, const std::string& b) {
  auto id = [](const std::string& path) {
    struct stat info;
    std::string name;
    if (stat(path.c_str(), &info) != 0) {
      size_t slash = path.rfind('/');
      std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
      name = path.substr(slash == std::string::npos ? 0 : slash + 1);
      if (stat(dir.c_str(), &info) != 0) return std::make_tuple(dev_t{}, ino_t{}, path);
    }
    return std::make_tuple(info.st_dev, info.st_ino, name);
  };
  return id(a) == id(b);
}

// "--png", "--csv" or "--html" for ARG that is one of them, alone or with "=FILE"; else "".
std::string OutputOption(const std::string& arg) {
  for (const char* option : {"--png", "--csv", "--html"}) {
    size_t n = std::strlen(option);
    if (arg.compare(0, n, option) == 0 && (arg.size() == n || arg[n] == '=')) return option;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> logs;
  std::string png, csv, html;
  bool optionsEnd = false;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    if (optionsEnd || arg.empty() || arg[0] != '-' || arg == "-") {
      logs.push_back(arg);
    } else if (arg == "--") {
      optionsEnd = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(USAGE, stdout);
      return 0;
    } else if (std::string option = OutputOption(arg); !option.empty()) {
      std::string name = arg.size() > option.size() ? arg.substr(option.size() + 1)
                         : i + 1 < argc                ? argv[++i]
                                                       : "";
      if (name.empty()) return UsageError(option + " needs a file name");
      if (name[0] == '-') {
        return UsageError(option + " needs a file name, not " + report::Visible(name) +
                          " (write ./" + report::Visible(name) + " for a file of that name)");
      }
      (option == "--png" ? png : option == "--csv" ? csv : html) = name;
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (logs.empty()) return UsageError("no log file given");
  const std::pair<const char*, const std::string*> outputs[] = {
      {"--csv", &csv}, {"--png", &png}, {"--html", &html}};
  for (size_t k = 0; k < std::size(outputs); k++) {
    const auto& [option, output] = outputs[k];
    if (output->empty()) continue;
    for (const std::string& log : logs) {
      if (SameFile(*output, log)) {
        return UsageError("the output " + report::Visible(*output) + " is the log " +
                          report::Visible(log) + ", which it would destroy");
      }
    }
    for (size_t j = 0; j < k; j++) {
      if (!outputs[j].second->empty() && SameFile(*outputs[j].second, *output)) {
        return UsageError(std::string(outputs[j].first) + " and " + option +
                          " name the same file " + report::Visible(*output));
      }
    }
  }

  int status = 0;
  std::vector<report::LogFile> files;
  for (const std::string& path : logs) {
    files.push_back(report::ReadLogFile(path));
    for (const std::string& d : files.back().diagnostics) std::fprintf(stderr, "%s\n", d.c_str());
    if (files.back().diagnosticsLeftOut > 0) {
      std::fprintf(stderr, "%s: %zu more malformed lines not listed\n",
                   report::Visible(path).c_str(), files.back().diagnosticsLeftOut);
    }
    if (!files.back().error.empty()) {
      std::fprintf(stderr, "%s\n", files.back().error.c_str());
      status = 1;
    }
  }
  std::vector<report::Terminal> terminals = report::BuildTerminals(files);
  if (terminals.empty()) return 1;

  const std::vector<report::Summary> summaries = report::SummariseAll(terminals);
  for (size_t i = 0; i < terminals.size(); i++) {
    std::string text = report::SummaryText(terminals[i], summaries[i]);
    std::fputs(i ? "\n" : "", stdout);
    std::fputs(text.c_str(), stdout);
  }
  std::fflush(stdout);
  for (const std::string& error :
       {csv.empty() ? "" : report::WriteCsv(csv, terminals),
        png.empty() ? "" : report::WritePng(png, terminals, summaries),
        html.empty() ? "" : report::WriteHtml(html, terminals, summaries)}) {
    if (error.empty()) continue;
    std::fprintf(stderr, "battest-report: %s\n", error.c_str());
    status = 1;
  }
  return status;
}
