#include "host/toolkit/look/screen_text.h"

#include <algorithm>

#include "host/toolkit/look/cp1251.h"

namespace termsim {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(c);
    }
  }
  return lines;
}

std::vector<std::string> WrapLine(const std::string& line, int width) {
  std::vector<std::string> pieces;
  if (width <= 0) return pieces;
  std::string rest = line;
  while (static_cast<int>(rest.size()) > width) {
    size_t cut = rest.rfind(' ', static_cast<size_t>(width));
    if (cut == std::string::npos || cut == 0) cut = static_cast<size_t>(width);
    pieces.push_back(rest.substr(0, cut));
    rest = rest.substr(cut);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  }
  pieces.push_back(rest);
  return pieces;
}

namespace {

std::string FindGadgetText(const FormInfo& line, ControlKind kind, bool level) {
  for (const ControlInfo& control : line.controls) {
    if (control.kind == kind) return level ? control.levelText : control.text;
  }
  return std::string();
}

}  // namespace

std::string ScreenTextOf(const Screen& screen) {
  std::string out;
  if (screen.hasForm) {
    out += Cp1251ToUtf8(screen.form.title);
    out += '\n';
    for (const ControlInfo* control : LayoutOrder(screen.form)) {
      if (control->kind == ControlKind::kButton) {
        std::string text = control->text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
        out += "[" + Cp1251ToUtf8(text) + "]\n";
      } else if (control->kind == ControlKind::kBatLevel) {
        out += Cp1251ToUtf8(control->levelText) + "\n";
      } else {
        for (const std::string& line : SplitLines(control->text)) {
          out += Cp1251ToUtf8(line);
          out += '\n';
        }
      }
    }
  }
  out += "status: ";
  if (screen.hasStatusLine) {
    out += Cp1251ToUtf8(FindGadgetText(screen.statusLine, ControlKind::kClock, false));
    out += " | ";
    out += Cp1251ToUtf8(FindGadgetText(screen.statusLine, ControlKind::kBatLevel, true));
  } else {
    out += " | ";
  }
  out += '\n';
  return out;
}

}  // namespace termsim
