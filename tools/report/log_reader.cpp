#include "tools/report/log_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace report {

bool ModelFromFileName(std::string_view path, std::string* model) {
  size_t slash = path.rfind('/');
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  // "r_" + model + "_" + 12 digits + ".txt"
  const size_t tail = 1 + 12 + 4;
  if (name.size() < 2 + tail || name.substr(0, 2) != "r_") return false;
  std::string_view end = name.substr(name.size() - tail);
  if (end[0] != '_' || end.substr(13) != ".txt") return false;
  for (size_t i = 1; i <= 12; i++) {
    if (end[i] < '0' || end[i] > '9') return false;
  }
  *model = std::string(name.substr(2, name.size() - 2 - tail));
  return true;
}

LogFile ParseLogText(const std::string& path, std::string_view text) {
  LogFile file;
  file.path = path;
  file.uploadName = ModelFromFileName(path, &file.model);
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    number++;
    size_t lf = text.find('\n', start);
    bool hasLf = lf != std::string_view::npos;
    std::string_view line = text.substr(start, hasLf ? lf - start : std::string_view::npos);
    start = hasLf ? lf + 1 : text.size();
    bool hasCr = !line.empty() && line.back() == '\r';
    if (hasCr) line.remove_suffix(1);

    Reading reading;
    std::string fault = ParseLogLine(line, &reading);
    if (fault.empty() && !(hasCr && hasLf)) {
      fault = hasLf ? "line ends in LF alone, not CR LF" : "last line has no CR LF (cut short?)";
    }
    if (fault.empty()) {
      file.readings.push_back({reading, number});
    } else {
      file.diagnostics.push_back(path + ":" + std::to_string(number) + ": " + fault);
    }
  }
  if (file.readings.empty()) file.error = path + ": no valid line";
  return file;
}

LogFile ReadLogFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  std::string text;
  int error = 0;
  if (f == nullptr) {
    error = errno;
  } else {
    errno = 0;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    if (std::ferror(f)) error = errno != 0 ? errno : EIO;
    std::fclose(f);
  }
  if (error != 0) {
    LogFile file;
    file.path = path;
    file.error = path + ": cannot read: " + std::strerror(error);
    return file;
  }
  return ParseLogText(path, text);
}

}  // namespace report
