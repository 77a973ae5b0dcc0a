// battest-report: summary, CSV and plot of battery logs.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/csv.h"
#include "tools/report/log_reader.h"
#include "tools/report/plot.h"
#include "tools/report/summary_text.h"

namespace {

const char USAGE[] =
    "Usage: battest-report LOG... [--png FILE] [--csv FILE]\n"
    "Summarises battery logs of the battery test utility, one block per terminal: stamps,\n"
    "duration, voltages, percentages, discharge rate, when 40 % was reached, time left to\n"
    "0 %, and stretches probably on external power. Files named as uploaded,\n"
    "r_<model>_<yyyymmddHHMM>.txt, are grouped by model; any other file is a terminal\n"
    "of its own.\n"
    "\n"
    "  --csv FILE  also write every valid line as CSV (ISO 8601 time, volts, percentages)\n"
    "  --png FILE  also plot voltage and filtered percentage, 1200x700 (runs gnuplot)\n"
    "  --help      show this text\n"
    "\n"
    "Malformed lines are reported on standard error as FILE:LINE: what is wrong, and\n"
    "skipped. A stamp earlier than the one before, or later by more than 20 minutes,\n"
    "starts a new segment. Exit status: 0 done; 1 a log unreadable or without a valid\n"
    "line, or an output not written (the rest is still done); 2 wrong usage.\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "battest-report: %s\n(see battest-report --help)\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> logs;
  std::string png, csv;
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
    } else if (arg == "--png" || arg == "--csv") {
      if (i + 1 >= argc) return UsageError(arg + " needs a file name");
      (arg == "--png" ? png : csv) = argv[++i];
    } else if (arg.rfind("--png=", 0) == 0 || arg.rfind("--csv=", 0) == 0) {
      (arg[2] == 'p' ? png : csv) = arg.substr(6);
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (logs.empty()) return UsageError("no log file given");

  int status = 0;
  std::vector<report::LogFile> files;
  for (const std::string& path : logs) {
    files.push_back(report::ReadLogFile(path));
    for (const std::string& d : files.back().diagnostics) std::fprintf(stderr, "%s\n", d.c_str());
    if (!files.back().error.empty()) {
      std::fprintf(stderr, "%s\n", files.back().error.c_str());
      status = 1;
    }
  }
  std::vector<report::Terminal> terminals = report::BuildTerminals(files);
  if (terminals.empty()) return 1;

  for (size_t i = 0; i < terminals.size(); i++) {
    std::string text = report::SummaryText(terminals[i], report::Summarise(terminals[i]));
    std::fputs(i ? "\n" : "", stdout);
    std::fputs(text.c_str(), stdout);
  }
  std::fflush(stdout);
  for (const std::string& error : {csv.empty() ? "" : report::WriteCsv(csv, terminals),
                                   png.empty() ? "" : report::WritePng(png, terminals)}) {
    if (error.empty()) continue;
    std::fprintf(stderr, "battest-report: %s\n", error.c_str());
    status = 1;
  }
  return status;
}
