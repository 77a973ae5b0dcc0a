#include "tools/report/log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace report {

std::string Visible(std::string_view text) {
  std::string shown;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else {
      char code[5];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      shown += code;
    }
  }
  return shown;
}

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

namespace {

// Takes a log's bytes in pieces of any size, line by line.
class LineParser {
 public:
  explicit LineParser(const std::string& path) {
    file_.path = path;
    file_.uploadName = ModelFromFileName(path, &file_.model);
  }

  void Feed(std::string_view bytes) {
    while (!bytes.empty()) {
      size_t lf = bytes.find('\n');
      std::string_view piece = bytes.substr(0, lf);
      Keep(piece);
      if (lf == std::string_view::npos) return;
      EndLine(true);
      bytes.remove_prefix(lf + 1);
    }
  }

  LogFile Finish() {
    if (length_ > 0) EndLine(false);
    if (file_.readings.empty()) file_.error = Visible(file_.path) + ": no valid line";
    return std::move(file_);
  }

 private:
  void Keep(std::string_view piece) {
    length_ += piece.size();
    line_.append(piece.substr(0, MAX_LINE + 1 - std::min(line_.size(), MAX_LINE + 1)));
  }

  void EndLine(bool hasLf) {
    number_++;
    std::string_view line = line_;
    bool hasCr = !line.empty() && line.back() == '\r' && length_ == line.size();
    if (hasCr) line.remove_suffix(1);
    Reading reading;
    std::string fault;
    if (line.size() > MAX_LINE) {
      fault = ParseLogLine(line.substr(0, MAX_LINE), &reading);
      if (fault.rfind("CR alone", 0) != 0) {
        fault = "line of " + std::to_string(length_) + " bytes, longer than any log line";
      }
    } else {
      fault = ParseLogLine(line, &reading);
    }
    if (fault.empty() && !(hasCr && hasLf)) {
      fault = hasLf ? "line ends in LF alone, not CR LF" : "last line has no CR LF (cut short?)";
    }
    if (fault.empty()) {
      file_.readings.push_back({reading, number_});
    } else if (file_.diagnostics.size() < MAX_DIAGNOSTICS) {
      file_.diagnostics.push_back(Visible(file_.path) + ":" + std::to_string(number_) + ": " +
                                  fault);
    } else {
      file_.diagnosticsLeftOut++;
    }
    line_.clear();
    length_ = 0;
  }

  LogFile file_;
  int number_ = 0;
  std::string line_;   // the line's first MAX_LINE + 1 bytes
  size_t length_ = 0;  // the line's length so far
};

}  // namespace

LogFile ParseLogText(const std::string& path, std::string_view text) {
  LineParser parser(path);
  parser.Feed(text);
  return parser.Finish();
}

LogFile ReadLogFile(const std::string& path) {
  LogFile failed;
  failed.path = path;
  // Non-blocking, so that opening a FIFO does not wait for a writer; only a regular file
  // is read, and a regular file never blocks.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    failed.error = Visible(path) + ": cannot read: " + std::strerror(errno);
    return failed;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    failed.error = Visible(path) + ": not a regular file, not read";
    close(fd);
    return failed;
  }
  LineParser parser(path);
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      failed.error = Visible(path) + ": cannot read: " + std::strerror(errno);
      close(fd);
      return failed;
    }
    if (n == 0) break;
    parser.Feed(std::string_view(buffer, static_cast<size_t>(n)));
  }
  close(fd);
  return parser.Finish();
}

}  // namespace report
