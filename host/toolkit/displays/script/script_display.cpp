#include "host/toolkit/displays/script/script_display.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "host/toolkit/look/cp1251.h"
#include "host/toolkit/look/screen_text.h"
#include "host/toolkit/render/png_file.h"
#include "host/toolkit/render/renderer.h"

namespace termsim {
namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(blanks);
  return text.substr(begin, end - begin + 1);
}

// A whole decimal number in [low, high].
bool ParseNumber(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

// Splits off the first blank-separated word of text; rest keeps what follows it.
std::string FirstWord(const std::string& text, std::string* rest) {
  const size_t end = text.find_first_of(" \t");
  if (end == std::string::npos) {
    rest->clear();
    return text;
  }
  *rest = Trim(text.substr(end));
  return text.substr(0, end);
}

constexpr long kLongestWaitMs = 24L * 3600 * 1000;
constexpr long kLargestScale = 16;

}  // namespace

ScriptDisplay::ScriptDisplay(int inFd, std::FILE* out, std::FILE* err)
    : inFd_(inFd), out_(out), err_(err) {
  screenText_ = ScreenTextOf(screen_);
}

void ScriptDisplay::Draw(const Screen& screen) {
  screen_ = screen;
  focus_.Update(screen_);
  screenText_ = ScreenTextOf(screen_);
}

int ScriptDisplay::WaitInput(int timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (ended_) return kQuit;
    if (waiting_) {
      const bool found =
          !waitForText_.empty() && screenText_.find(waitForText_) != std::string::npos;
      if (found || Clock::now() >= waitUntil_) {
        waiting_ = false;
      } else {
        std::this_thread::sleep_until(std::min(deadline, waitUntil_));
        if (Clock::now() >= deadline) return kNoInput;
        continue;
      }
    }
    std::string line;
    if (!NextLine(deadline, &line)) {
      if (ended_) continue;
      return kNoInput;
    }
    const int code = Execute(line);
    if (code != kNoInput) return code;
  }
}

bool ScriptDisplay::NextLine(Clock::time_point deadline, std::string* line) {
  for (;;) {
    const size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      *line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      ++lineNumber_;
      return true;
    }
    if (eof_) {
      if (!pending_.empty()) {  // a last line without its line break
        line->swap(pending_);
        pending_.clear();
        ++lineNumber_;
        return true;
      }
      std::fflush(out_);
      std::fflush(err_);
      ended_ = true;
      return false;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd input{inFd_, POLLIN, 0};
    const int ready = poll(&input, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) return false;
    char buffer[4096];
    const ssize_t got = read(inFd_, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) {
      eof_ = true;
      continue;
    }
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

int ScriptDisplay::Execute(const std::string& raw) {
  const std::string line = Trim(raw);
  if (line.empty() || line[0] == '#') return kNoInput;
  std::string rest;
  const std::string command = FirstWord(line, &rest);
  long value = 0;
  if (command == "key") {
    if (!ParseNumber(rest, 0, 255, &value)) {
      Complain(line, "key needs an event code 0..255");
      return kNoInput;
    }
    return static_cast<int>(value);
  }
  if (command == "wait") {
    if (!ParseNumber(rest, 0, kLongestWaitMs, &value)) {
      Complain(line, "wait needs a time in milliseconds");
      return kNoInput;
    }
    waiting_ = true;
    waitUntil_ = Clock::now() + std::chrono::milliseconds(value);
    waitForText_.clear();
    return kNoInput;
  }
  if (command == "waitfor") {
    std::string text;
    const std::string ms = FirstWord(rest, &text);
    if (!ParseNumber(ms, 0, kLongestWaitMs, &value) || text.empty()) {
      Complain(line, "waitfor needs a time in milliseconds and a text");
      return kNoInput;
    }
    waiting_ = true;
    waitUntil_ = Clock::now() + std::chrono::milliseconds(value);
    waitForText_ = text;
    return kNoInput;
  }
  if (command == "screen" && rest.empty()) {
    std::fputs(screenText_.c_str(), out_);
    std::fputs("--\n", out_);
    std::fflush(out_);
    return kNoInput;
  }
  if (command == "png") {
    SavePicture(line, rest);
    return kNoInput;
  }
  Complain(line, "unknown command");
  return kNoInput;
}

void ScriptDisplay::SavePicture(const std::string& line, const std::string& arguments) {
  std::string path = arguments;
  long scale = 1;
  const size_t option = arguments.rfind("--scale");
  if (option != std::string::npos && (option == 0 || arguments[option - 1] == ' ' ||
                                      arguments[option - 1] == '\t')) {
    path = Trim(arguments.substr(0, option));
    if (!ParseNumber(Trim(arguments.substr(option + 7)), 1, kLargestScale, &scale)) {
      Complain(line, "png --scale needs a whole number 1..16");
      return;
    }
  }
  if (path.empty()) {
    Complain(line, "png needs a file name");
    return;
  }
  Image image;
  RenderScreen(screen_, focus_.Focused(), &image);
  std::string error;
  if (!WritePng(path, image, static_cast<int>(scale), &error)) Complain(line, error);
}

void ScriptDisplay::Complain(const std::string& line, const std::string& why) {
  std::fprintf(err_, "script line %d: %s: %s\n", lineNumber_, why.c_str(), line.c_str());
  std::fflush(err_);
}

}  // namespace termsim
