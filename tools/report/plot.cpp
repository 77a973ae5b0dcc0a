#include "tools/report/plot.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace report {
namespace {

const unsigned COLOURS[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e,
                            0x9467bd, 0x8c564b, 0xe377c2, 0x17becf};

bool HasReading(const Terminal& t) {
  return std::any_of(t.entries.begin(), t.entries.end(),
                     [](const Entry& e) { return e.reading.HasBatteryReading(); });
}

bool HasProjection(const Terminal& t, const Summary& s) {
  return HasReading(t) && s.timeLeft.known && !s.timeLeft.path.empty();
}

// A terminal's curves start at its first stamp (a clock set back draws left of it).
Seconds Origin(const Terminal& t) { return t.entries.front().reading.time; }

// Hours, or days once a terminal's log spans more than three days.
double TimeUnit(const std::vector<Terminal>& terminals) {
  Seconds span = 0;
  for (const Terminal& t : terminals) {
    Seconds origin = Origin(t);
    for (const Entry& e : t.entries) span = std::max(span, e.reading.time - origin);
  }
  return span > 3 * 86400 ? 86400.0 : 3600.0;
}

// A gnuplot single-quoted string: a quote inside is written twice, and a control character
// (a line feed would end the command) is written as \xHH. Inside single quotes gnuplot
// substitutes neither macros nor backquoted commands.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : Visible(text)) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

std::string Colour(size_t index) {
  char text[16];
  std::snprintf(text, sizeof text, "'#%06x'", CurveColour(index));
  return text;
}

std::string FindOnPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t colon = std::min(dirs.find(':', start), dirs.size());
    std::string dir = dirs.substr(start, colon - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) {
      // Absolute: gnuplot is started in another directory.
      char* absolute = realpath(candidate.c_str(), nullptr);
      if (absolute == nullptr) return candidate;
      std::string found = absolute;
      std::free(absolute);
      return found;
    }
    start = colon + 1;
  }
  return "";
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// The first line of gnuplot's own messages, kept in `errors`.
std::string FirstLine(const std::string& errors) {
  std::FILE* f = std::fopen(errors.c_str(), "rb");
  if (f == nullptr) return "";
  char line[200] = {};
  bool got = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  std::string text = got ? line : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// Copies the file `from` to `to`, replacing what `to` held.
bool CopyFile(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(to.c_str(), "wb");
  bool ok = out != nullptr;
  char buffer[1 << 16];
  size_t n;
  while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    ok = std::fwrite(buffer, 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  return out != nullptr && std::fclose(out) == 0 && ok;
}

// Runs gnuplot on `script` in the directory `dir`, its messages going to `errors` there.
std::string RunGnuplot(const std::string& gnuplot, const std::string& dir,
                       const std::string& script, const std::string& errors) {
  const char* argv[] = {gnuplot.c_str(), script.c_str(), nullptr};
  pid_t pid;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int error = posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  if (error == 0) {
    error = posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (error == 0) {
    error = posix_spawn(&pid, gnuplot.c_str(), &actions, nullptr, const_cast<char**>(argv),
                        environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return "cannot start " + gnuplot + ": " + std::strerror(error);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::string("waiting for gnuplot: ") + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  std::string said = Visible(FirstLine(dir + "/" + errors));
  return "gnuplot failed (" +
         (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status))) + ")" +
         (said.empty() ? "" : ": " + said);
}

}  // namespace

unsigned CurveColour(size_t index) { return COLOURS[index % (sizeof COLOURS / sizeof *COLOURS)]; }

std::string PlotData(const std::vector<Terminal>& terminals) {
  const double unit = TimeUnit(terminals);
  std::string data;
  char line[96];
  for (const Terminal& t : terminals) {
    if (!HasReading(t)) continue;
    data += "# " + t.name + "\n";  // made visible: on one line
    const Seconds origin = Origin(t);
    for (const Segment& s : t.segments) {
      for (size_t i = s.begin; i < s.end; i++) {
        const Reading& r = t.entries[i].reading;
        if (!r.HasBatteryReading()) continue;
        std::snprintf(line, sizeof line, "%.5f %.6f %d\n",
                      static_cast<double>(r.time - origin) / unit, ToVolts(r.voltageNow, t.unit),
                      r.filteredPercent);
        data += line;
      }
      data += "\n";  // one blank line: the curve breaks between segments
    }
    data += "\n";  // two blank lines: the next terminal is the next index
  }
  return data;
}

std::string ProjectionData(const std::vector<Terminal>& terminals,
                           const std::vector<Summary>& summaries) {
  const double unit = TimeUnit(terminals);
  std::string data;
  char line[128];
  for (size_t i = 0; i < terminals.size(); i++) {
    if (!HasProjection(terminals[i], summaries[i])) continue;
    const Summary& s = summaries[i];
    const double from = static_cast<double>(s.timeLeftFrom - Origin(terminals[i]));
    for (const ProjectedPoint& p : s.timeLeft.path) {
      // The projected path ends at 0 %; the band goes on to the interval's end.
      char percent[16] = "?";
      if (p.seconds <= s.timeLeft.seconds) std::snprintf(percent, sizeof percent, "%.3f", p.percent);
      std::snprintf(line, sizeof line, "%.5f %s %.3f %.3f\n", (from + p.seconds) / unit, percent,
                    p.low, p.high);
      data += line;
    }
    data += "\n\n";  // the next terminal's projection is the next index
  }
  return data;
}

std::string PowerData(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries) {
  const double unit = TimeUnit(terminals);
  std::string data;
  char line[96];
  for (size_t i = 0; i < terminals.size(); i++) {
    if (!HasReading(terminals[i])) continue;
    const Seconds origin = Origin(terminals[i]);
    for (const HeldVoltage& h : summaries[i].externalPower) {
      std::snprintf(line, sizeof line, "%.5f %.5f\n", static_cast<double>(h.from - origin) / unit,
                    static_cast<double>(h.to - origin) / unit);
      data += line;
    }
  }
  return data;
}

std::string PlotScript(const std::vector<Terminal>& terminals, const std::vector<Summary>& summaries,
                       const PlotFiles& files, const std::string& pngPath) {
  const std::string& dataPath = files.curves;
  const bool days = TimeUnit(terminals) > 3600;
  std::string voltage, percent;
  size_t index = 0;
  for (size_t i = 0; i < terminals.size(); i++) {
    const Terminal& t = terminals[i];
    if (!HasReading(t)) continue;
    std::string from = " (from " + FormatStamp(Origin(t)).substr(0, 16) + ")";
    std::string curve = Quoted(dataPath) + " index " + std::to_string(index++) + " using 1:";
    std::string style = " with lines lw 2 lc rgb " + Colour(i);
    voltage += (voltage.empty() ? "plot " : ", ") + curve + "2" + style + " title " +
               Quoted(t.name + from);
    percent += (percent.empty() ? "plot " : ", ") + curve + "3" + style + " notitle";
  }
  // Stretches probably on external power, shaded behind the curves; each projection to 0 %
  // as a dotted line in its terminal's colour over a band of its 80 % interval.
  std::string shading, band;
  if (std::any_of(summaries.begin(), summaries.end(),
                  [](const Summary& s) { return !s.externalPower.empty(); })) {
    char style[96];
    std::snprintf(style, sizeof style, " fs transparent solid %.2f noborder lc rgb '#%06x'",
                  POWER_ALPHA, POWER_COLOUR);
    shading = "plot " + Quoted(files.power) + " using (($1+$2)/2):(50):1:2:(0):(100) with boxxyerror" +
              style + " title 'probably on external power', ";
  }
  size_t projection = 0;
  for (size_t i = 0; i < terminals.size(); i++) {
    if (!HasProjection(terminals[i], summaries[i])) continue;
    std::string data = Quoted(files.projection) + " index " + std::to_string(projection++);
    band += ", " + data + " using 1:3:4 with filledcurves fs transparent solid " +
            std::to_string(BAND_ALPHA) + " noborder lc rgb " +
            Colour(i) + (projection == 1 ? " title 'time left to 0 %, 80 % interval'" : " notitle") +
            ", " + data + " using 1:2 with lines dt 3 lw 2 lc rgb " + Colour(i) + " notitle";
  }
  if (!shading.empty()) percent = shading + percent.substr(5);  // one plot command
  percent += band;
  percent += ", NaN with lines dt 2 lw 1.5 lc rgb '#606060' title '40 % threshold'";
  std::string x = days ? "days" : "h";
  return "set terminal pngcairo size " + std::to_string(PLOT_WIDTH) + "," +
         std::to_string(PLOT_HEIGHT) + " noenhanced font 'sans,11'\n"
         "set output " + Quoted(pngPath) + "\n"
         "set multiplot layout 2,1 title 'Battery log: voltage and filtered percentage'\n"
         "set grid\n"
         "set datafile missing '?'\n"
         "set lmargin 10\n"
         "set rmargin 4\n"
                  "set key top right box opaque\n"
         "set ylabel 'Voltage (V)'\n"
         "set format y '%.2f'\n" +
         voltage + "\n"
         "set ylabel 'Filtered percentage (%)'\n"
         "set format y '%g'\n"
         "set yrange [0:105]\n"
         "set xlabel 'Time since the start of each log (" + x + ")'\n"
         "set arrow from graph 0, first 40 to graph 1, first 40 nohead front dt 2 lw 1.5 lc rgb '#606060'\n" +
         percent + "\n"
         "unset multiplot\n";
}

std::string WritePng(const std::string& path, const std::vector<Terminal>& terminals) {
  if (std::none_of(terminals.begin(), terminals.end(), HasReading)) {
    return Visible(path) + ": no battery reading to plot";
  }
  std::string gnuplot = FindOnPath("gnuplot");
  if (gnuplot.empty()) {
    return "--png needs gnuplot, which is not on PATH (Debian package gnuplot-nox)";
  }
  // The report's own word on an output it cannot write, before gnuplot would say its own.
  const bool existed = access(path.c_str(), F_OK) == 0;
  const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (out < 0) return Visible(path) + ": cannot write: " + std::strerror(errno);
  close(out);
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/battest-report-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    if (!existed) unlink(path.c_str());
    return "cannot make a temporary directory " + Visible(pattern) + ": " + std::strerror(errno);
  }
  // gnuplot runs in that directory on files named here, and the picture is copied to `path`
  // afterwards: no name from outside is written into its script.
  const PlotFiles files{"curves.dat", "projection.dat", "power.dat"};
  const std::string script = "plot.gp", errors = "gnuplot.err", picture = "plot.png";
  auto in = [&pattern](const std::string& name) { return pattern + "/" + name; };
  const std::vector<Summary> summaries = SummariseAll(terminals);
  std::string result;
  if (!WriteFile(in(files.curves), PlotData(terminals)) ||
      !WriteFile(in(files.projection), ProjectionData(terminals, summaries)) ||
      !WriteFile(in(files.power), PowerData(terminals, summaries)) ||
      !WriteFile(in(script), PlotScript(terminals, summaries, files, picture))) {
    result = "cannot write gnuplot's files in " + Visible(pattern);
  } else {
    result = RunGnuplot(gnuplot, pattern, script, errors);
    if (result.empty() && !CopyFile(in(picture), path)) {
      result = "cannot write: " + std::string(std::strerror(errno));
    }
    if (!result.empty()) result = Visible(path) + ": " + result;
  }
  if (!result.empty() && !existed) unlink(path.c_str());  // no empty picture left behind
  for (const std::string& file :
       {files.curves, files.projection, files.power, script, errors, picture}) {
    unlink(in(file).c_str());
  }
  rmdir(pattern.c_str());
  return result;
}

}  // namespace report
