#include "tools/report/gnuplot.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/report/log_reader.h"

extern char** environ;

namespace report {
namespace {

const char ERRORS[] = "gnuplot.err";

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

}  // namespace

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : Visible(text)) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

GnuplotDir::~GnuplotDir() {
  if (dir_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);  // removes links, never follows them
}

std::string GnuplotDir::Make(const std::string& option) {
  gnuplot_ = FindOnPath("gnuplot");
  if (gnuplot_.empty()) {
    return option + " needs gnuplot, which is not on PATH (Debian package gnuplot-nox)";
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/battest-report-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    return "cannot make a temporary directory " + Visible(pattern) + ": " + std::strerror(errno);
  }
  dir_ = pattern;
  return "";
}

bool GnuplotDir::Write(const std::string& name, const std::string& text) {
  std::FILE* f = std::fopen(Path(name).c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

bool GnuplotDir::Read(const std::string& name, std::string* text) const {
  std::FILE* f = std::fopen(Path(name).c_str(), "rb");
  if (f == nullptr) return false;
  text->clear();
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::string GnuplotDir::Run(const std::string& name) {
  const char* argv[] = {gnuplot_.c_str(), name.c_str(), nullptr};
  pid_t pid;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int error = posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
  if (error == 0) {
    error = posix_spawn_file_actions_addopen(&actions, 2, ERRORS, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  if (error == 0) {
    error = posix_spawn(&pid, gnuplot_.c_str(), &actions, nullptr, const_cast<char**>(argv),
                        environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return "cannot start " + gnuplot_ + ": " + std::strerror(error);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return std::string("waiting for gnuplot: ") + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
  // The first line of gnuplot's own messages.
  std::string said;
  Read(ERRORS, &said);
  said = Visible(said.substr(0, std::min(said.find_first_of("\r\n"), size_t{200})));
  return "gnuplot failed (" +
         (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                            : "signal " + std::to_string(WTERMSIG(status))) + ")" +
         (said.empty() ? "" : ": " + said);
}

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

}  // namespace report
