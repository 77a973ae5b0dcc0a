// battest-report: summary, CSV and plot of battery logs.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tools/report/analysis.h"
#include "tools/report/csv.h"
#include "tools/report/curve_store.h"
#include "tools/report/html.h"
#include "tools/report/log_reader.h"
#include "tools/report/plot.h"
#include "tools/report/summary_text.h"

namespace {

const char USAGE[] =
    "Usage: battest-report LOG... [--png FILE] [--csv FILE] [--html FILE]\n"
    "                      [--curves DIR | --no-curves]\n"
    "       battest-report --list-curves [--curves DIR]\n"
    "Summarises battery logs of the battery test utility, one block per terminal: stamps,\n"
    "duration, voltages, percentages, discharge rate, when 40 % was reached, time left to\n"
    "0 %, stretches empty and probably on external power. Files named as uploaded,\n"
    "r_<model>_<yyyymmddHHMM>.txt, are grouped by model; any other file is a terminal of\n"
    "its own. The time left takes the cell's curve from the latest discharge to empty at a\n"
    "steady load of the model, among the logs or kept from an earlier report.\n"
    "\n"
    "  --csv FILE     also write every valid line as CSV (ISO 8601 time, volts, percentages)\n"
    "  --png FILE     also plot voltage and filtered percentage, 1200x700 (runs gnuplot)\n"
    "  --html FILE    also write a page for a browser: a table, summaries, plots (gnuplot)\n"
    "  --curves DIR   keep learnt curves in DIR (default $XDG_DATA_HOME/battest/curves)\n"
    "  --no-curves    neither read nor keep learnt curves\n"
    "  --list-curves  list the learnt curves kept, per model\n"
    "  --help         show this text\n"
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

void PrintLines(std::FILE* to, const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    std::fprintf(to, "%s%s\n", to == stderr ? "battest-report: " : "", line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> logs;
  std::string png, csv, html, curves;
  bool optionsEnd = false, noCurves = false, listCurves = false;
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
    } else if (arg == "--curves" || arg.rfind("--curves=", 0) == 0) {
      curves = arg.size() > 8 ? arg.substr(9) : i + 1 < argc ? argv[++i] : "";
      if (curves.empty()) return UsageError("--curves needs a directory");
    } else if (arg == "--no-curves") {
      noCurves = true;
    } else if (arg == "--list-curves") {
      listCurves = true;
    } else {
      return UsageError("unknown option " + arg);
    }
  }
  if (noCurves && (!curves.empty() || listCurves)) {
    return UsageError("--no-curves with --curves or --list-curves");
  }
  // The store of learnt curves: "" when it is not to be used or has no place.
  const std::string store = noCurves ? "" : curves.empty() ? report::DefaultCurveStore() : curves;
  std::vector<std::string> notes, problems;
  if (listCurves) {
    if (!logs.empty()) return UsageError("--list-curves takes no log file");
    if (store.empty())
      return UsageError("no store of learnt curves: HOME is not set; give --curves DIR");
    std::fputs(report::ListCurves(store, &problems).c_str(), stdout);
    PrintLines(stderr, problems);
    return 0;
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

  // Curves learnt from these logs, those kept of their models, and those kept after.
  const std::vector<report::LearntDischarge> learnt = report::Discharges(terminals);
  std::vector<report::LearntDischarge> stored;
  std::vector<std::string> models;
  for (const report::Terminal& t : terminals) {
    if (!t.model.empty()) models.push_back(t.model);
  }
  if (!store.empty() && !models.empty()) {
    stored =
        report::ReadAndStoreCurves(store, models, learnt, std::time(nullptr), &notes, &problems);
  } else if (!noCurves && !models.empty()) {
    problems.push_back("no store of learnt curves: HOME is not set (give --curves DIR)");
  }
  PrintLines(stderr, problems);
  const std::vector<report::Summary> summaries =
      report::SummariseAll(terminals, learnt, store.empty() ? nullptr : &stored);
  for (size_t i = 0; i < terminals.size(); i++) {
    std::string text = report::SummaryText(terminals[i], summaries[i]);
    std::fputs(i ? "\n" : "", stdout);
    std::fputs(text.c_str(), stdout);
  }
  if (!notes.empty()) std::fputs("\n", stdout);
  PrintLines(stdout, notes);
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
