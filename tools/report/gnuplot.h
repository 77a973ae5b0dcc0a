// Running gnuplot on a script of the report's own: in a private temporary directory, on
// data files written there under names of the report's own, so that no name from outside
// is ever written into a script. Texts that must go into a script (a terminal's name in a
// label) go through Quoted().
#ifndef TOOLS_REPORT_GNUPLOT_H
#define TOOLS_REPORT_GNUPLOT_H

#include <string>
#include <vector>

namespace report {

// A gnuplot single-quoted string: a quote inside is written twice, and a control character
// (a line feed would end the command) is written as \xHH. Inside single quotes gnuplot
// substitutes neither macros nor backquoted commands.
std::string Quoted(const std::string& text);

class GnuplotDir {
 public:
  GnuplotDir() = default;
  GnuplotDir(const GnuplotDir&) = delete;
  GnuplotDir& operator=(const GnuplotDir&) = delete;
  ~GnuplotDir();  // removes every file it holds, and itself

  // Finds gnuplot on PATH and makes the directory under $TMPDIR or /tmp. "" or what failed,
  // for `option` ("--png": "--png needs gnuplot, which is not on PATH ...").
  std::string Make(const std::string& option);
  // A file of the directory, by its name there (no slash).
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  bool Write(const std::string& name, const std::string& text);
  // Runs gnuplot on the script `name` in the directory. "" or what went wrong, with the first
  // line gnuplot said.
  std::string Run(const std::string& name);
  // Reads a file gnuplot wrote; false when it cannot.
  bool Read(const std::string& name, std::string* text) const;

 private:
  std::string gnuplot_, dir_;
};

// Copies the file `from` to `to`, replacing what `to` held; false with errno set on failure.
bool CopyFile(const std::string& from, const std::string& to);

}  // namespace report

#endif
