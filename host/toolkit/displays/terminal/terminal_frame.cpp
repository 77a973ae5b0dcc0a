#include "host/toolkit/displays/terminal/terminal_frame.h"

#include <algorithm>
#include <cstdio>

#include "host/toolkit/look/cp1251.h"
#include "host/toolkit/look/look.h"
#include "host/toolkit/look/screen_text.h"

namespace termsim {

namespace {

constexpr unsigned char kBackspaceCode = 8;

int FloorDiv(int value, int divisor) {
  const int quotient = value / divisor;
  return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

int CeilDiv(int value, int divisor) { return (value + divisor - 1) / divisor; }

CellRect Clip(CellRect rect, int rowTop, int rowEnd, int columns) {
  if (rect.row1 <= rect.row0) rect.row1 = rect.row0 + 1;
  if (rect.col1 <= rect.col0) rect.col1 = rect.col0 + 1;
  rect.col0 = std::max(rect.col0, 0);
  rect.col1 = std::min(rect.col1, columns);
  rect.row0 = std::max(rect.row0, rowTop);
  rect.row1 = std::min(rect.row1, rowEnd);
  return rect;
}

std::string Glyph(unsigned char byte) {
  const uint32_t cp = Cp1251ToCodePoint(byte);
  if (!IsPrintable(cp)) return " ";
  std::string glyph;
  AppendUtf8(cp, &glyph);
  return glyph;
}

struct Pen {
  unsigned short fg, bg;
  bool bold;
  int owner;
};

void Fill(Frame* frame, const CellRect& rect, const Pen& pen) {
  for (int row = rect.row0; row < rect.row1; ++row) {
    for (int column = rect.col0; column < rect.col1; ++column) {
      Cell& cell = frame->At(row, column);
      cell.glyph = " ";
      cell.fg = pen.fg;
      cell.bg = pen.bg;
      cell.bold = pen.bold;
      cell.owner = pen.owner;
    }
  }
}

// Writes a Windows-1251 text from column `start` on, clipped to [col0, col1); each
// cell keeps its background and gets a foreground readable on it.
void Put(Frame* frame, int row, int start, const CellRect& clip, const std::string& text,
         const Pen& pen) {
  if (row < clip.row0 || row >= clip.row1) return;
  for (size_t i = 0; i < text.size(); ++i) {
    const int column = start + static_cast<int>(i);
    if (column < clip.col0) continue;
    if (column >= clip.col1) break;
    Cell& cell = frame->At(row, column);
    cell.glyph = Glyph(static_cast<unsigned char>(text[i]));
    cell.fg = ReadableOn(pen.fg, cell.bg);
    cell.bold = pen.bold;
    cell.owner = pen.owner;
  }
}

int Width(const CellRect& rect) { return rect.col1 - rect.col0; }

int Centred(const CellRect& rect, size_t length) {
  const int spare = Width(rect) - static_cast<int>(length);
  return rect.col0 + std::max(0, spare / 2);
}

void DrawBox(Frame* frame, const CellRect& rect, const Pen& pen) {
  for (int row = rect.row0; row < rect.row1; ++row) {
    for (int column = rect.col0; column < rect.col1; ++column) {
      const bool top = row == rect.row0, bottom = row == rect.row1 - 1;
      const bool left = column == rect.col0, right = column == rect.col1 - 1;
      const char* glyph = nullptr;
      if (top && left) glyph = "┌";
      else if (top && right) glyph = "┐";
      else if (bottom && left) glyph = "└";
      else if (bottom && right) glyph = "┘";
      else if (top || bottom) glyph = "─";
      else if (left || right) glyph = "│";
      if (glyph == nullptr) continue;
      Cell& cell = frame->At(row, column);
      cell.glyph = glyph;
      cell.fg = ReadableOn(pen.fg, cell.bg);
      cell.owner = pen.owner;
    }
  }
}

void DrawText(Frame* frame, const ControlInfo& control, const CellRect& rect, int owner) {
  const Pen pen{control.first, control.second, control.style == kStyleLargeValue, owner};
  Fill(frame, rect, pen);
  std::vector<std::string> lines = SplitLines(control.text);
  CellRect inner = rect;
  switch (control.style) {
    case kStyleTextBlock: {
      std::vector<std::string> wrapped;
      for (const std::string& line : lines) {
        for (std::string& piece : WrapLine(line, Width(rect))) wrapped.push_back(std::move(piece));
      }
      for (size_t i = 0; i < wrapped.size(); ++i) {
        Put(frame, rect.row0 + static_cast<int>(i), rect.col0, rect, wrapped[i], pen);
      }
      return;
    }
    case kStyleFramedValue: {
      if (rect.row1 - rect.row0 >= 3 && Width(rect) >= 3) {
        DrawBox(frame, rect, pen);
        inner = CellRect{rect.col0 + 1, rect.col1 - 1, rect.row0 + 1, rect.row1 - 1};
      }
      const int top = inner.row0 + std::max(0, (inner.row1 - inner.row0 -
                                                 static_cast<int>(lines.size())) / 2);
      for (size_t i = 0; i < lines.size(); ++i) {
        const std::string text = lines[i] + " ";
        const int start = std::max(inner.col0, inner.col1 - static_cast<int>(text.size()));
        Put(frame, top + static_cast<int>(i), start, inner, text, pen);
      }
      return;
    }
    case kStyleLargeValue: {
      const int top = rect.row0 + std::max(0, (rect.row1 - rect.row0 -
                                               static_cast<int>(lines.size())) / 2);
      for (size_t i = 0; i < lines.size(); ++i) {
        Put(frame, top + static_cast<int>(i), Centred(rect, lines[i].size()), rect, lines[i],
            pen);
      }
      return;
    }
    default:  // plain
      for (size_t i = 0; i < lines.size(); ++i) {
        Put(frame, rect.row0 + static_cast<int>(i), rect.col0, rect, lines[i], pen);
      }
      return;
  }
}

void DrawButton(Frame* frame, const ControlInfo& control, const CellRect& rect, int owner,
                bool focused) {
  const ButtonLook look = ButtonLookOf(control, focused);
  const Pen pen{look.ink, look.background, true, owner};
  Fill(frame, rect, pen);
  // No outline in cells: the focus is shown in the text as well.
  const std::string text = focused ? "> " + look.text + " <" : look.text;
  const int row = rect.row0 + (rect.row1 - rect.row0 - 1) / 2;
  Put(frame, row, Centred(rect, text.size()), rect, text, pen);
}

void DrawClock(Frame* frame, const ControlInfo& control, const CellRect& rect, int owner) {
  const Pen pen{control.first, control.second, true, owner};
  Fill(frame, rect, pen);
  Put(frame, rect.row0, rect.col0 + 1, rect, control.text, pen);
}

// The indicator: "[" bar "]", the brackets being the outline, and the text over the bar.
void DrawIndicator(Frame* frame, const ControlInfo& control, const CellRect& rect, int owner) {
  const IndicatorLook look = IndicatorLookOf(control);
  const Pen pen{control.first, look.background, true, owner};
  Fill(frame, rect, pen);
  CellRect inner = rect;
  if (Width(rect) >= 3) {
    const Pen outline{look.outline, look.background, true, owner};
    Put(frame, rect.row0, rect.col0, rect, "[", outline);
    Put(frame, rect.row0, rect.col1 - 1, rect, "]", outline);
    inner.col0 += 1;
    inner.col1 -= 1;
  }
  // Any charge fills a cell at least, so that a low battery shows in its colour.
  const int filled =
      look.percent > 0 ? std::max(1, (look.percent * Width(inner) + 50) / 100) : 0;
  for (int column = inner.col0; column < inner.col1; ++column) {
    frame->At(rect.row0, column).bg = column - inner.col0 < filled ? look.fill : look.empty;
  }
  const Pen textPen{look.ink, look.background, true, owner};
  Put(frame, rect.row0, Centred(inner, look.text.size()), inner, look.text, textPen);
}

void DrawControl(Frame* frame, const ControlInfo& control, const CellRect& rect, int owner,
                 bool focused) {
  if (rect.Empty()) return;
  switch (control.kind) {
    case ControlKind::kButton:
      DrawButton(frame, control, rect, owner, focused);
      return;
    case ControlKind::kClock:
      DrawClock(frame, control, rect, owner);
      return;
    case ControlKind::kBatLevel:
      DrawIndicator(frame, control, rect, owner);
      return;
    case ControlKind::kStatic:
    case ControlKind::kMultiLine:
      DrawText(frame, control, rect, owner);
      return;
  }
}

void AppendColour(std::string* out, bool background, unsigned short colour) {
  const Rgb rgb = ToRgb(colour);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, ";%d;2;%u;%u;%u", background ? 48 : 38, unsigned{rgb.r},
                unsigned{rgb.g}, unsigned{rgb.b});
  *out += buffer;
}

}  // namespace

std::string HelpText(const Screen& screen) {
  if (screen.quitting) return "Quitting once the work under way is done.  ^C again: quit at once";
  std::string help = "Tab/arrows: focus  Space: press  Enter: OK  Esc: cancel  ";
  if (screen.hasForm) {
    for (const ControlInfo& control : screen.form.controls) {
      if (control.kind == ControlKind::kButton && control.code == kBackspaceCode) {
        help += "Bksp: " + control.text + "  ";
        break;
      }
    }
  }
  return help + "^C: quit";
}

bool CellRect::Overlaps(const CellRect& other) const {
  return col0 < other.col1 && other.col0 < col1 && row0 < other.row1 && other.row0 < row1;
}

FrameLayout LayoutFor(int width, int height, bool hostLine) {
  FrameLayout layout;
  layout.hostLine = hostLine;
  layout.columns = std::max(1, CeilDiv(width, kPixelsPerColumn));
  layout.clientRows = std::max(1, CeilDiv(height - kStatusLineHeight, kPixelsPerRow));
  return layout;
}

CellRect ClientCells(int x, int y, int w, int h, const FrameLayout& layout) {
  CellRect rect{FloorDiv(x, kPixelsPerColumn), FloorDiv(x + w, kPixelsPerColumn),
                kClientTopRow + FloorDiv(y, kPixelsPerRow),
                kClientTopRow + FloorDiv(y + h, kPixelsPerRow)};
  return Clip(rect, kClientTopRow, kClientTopRow + layout.clientRows, layout.columns);
}

CellRect StatusCells(int x, int w, const FrameLayout& layout) {
  CellRect rect{FloorDiv(x, kPixelsPerColumn), FloorDiv(x + w, kPixelsPerColumn), kStatusRow,
                kStatusRow + 1};
  return Clip(rect, kStatusRow, kStatusRow + 1, layout.columns);
}

std::string Frame::RowText(int row) const {
  std::string text;
  for (int column = 0; column < columns(); ++column) text += At(row, column).glyph;
  return text;
}

Frame ComposeFrame(const Screen& screen, int focusedControl, const std::string& hostLine) {
  const FrameLayout layout = LayoutFor(screen.width, screen.height, !hostLine.empty());
  const int columns = layout.columns;
  Frame frame(layout);
  const Scheme& scheme = screen.scheme;
  Fill(&frame, CellRect{0, columns, 0, layout.rows()},
       Pen{scheme.screenFg, scheme.screenBg, false, -1});

  if (screen.hasStatusLine) {
    const FormInfo& line = screen.statusLine;
    Fill(&frame, CellRect{0, columns, kStatusRow, kStatusRow + 1},
         Pen{line.first, line.second, false, -2});
    for (const ControlInfo& gadget : line.controls) {
      DrawControl(&frame, gadget, StatusCells(gadget.x, gadget.w, layout), -2, false);
    }
  }

  if (screen.hasForm) {
    const FormInfo& form = screen.form;
    // The title on its own row, in bold on a framed form's bar.
    const TitleLook look = TitleLookOf(form);
    const Pen title{look.ink, look.bar, look.framed, -1};
    const CellRect titleRow{0, columns, kTitleRow, kTitleRow + 1};
    Fill(&frame, titleRow, title);
    Put(&frame, kTitleRow, 1, titleRow, form.title, title);
    Fill(&frame, CellRect{0, columns, kClientTopRow, kClientTopRow + layout.clientRows},
         Pen{form.first, form.second, false, -1});
    for (size_t i = 0; i < form.controls.size(); ++i) {
      const ControlInfo& control = form.controls[i];
      DrawControl(&frame, control,
                  ClientCells(control.x, control.y, control.w, control.h, layout),
                  static_cast<int>(i), static_cast<int>(i) == focusedControl);
    }
  }

  const int helpRow = layout.helpRow();
  const CellRect help{0, columns, helpRow, helpRow + 1};
  const Pen helpPen = screen.quitting ? Pen{0x0000, 0xFFE0, true, -1} : Pen{0x8410, 0x0000, false, -1};
  Fill(&frame, help, helpPen);
  Put(&frame, helpRow, 0, help, HelpText(screen), helpPen);
  if (layout.hostLine) {
    const CellRect host{0, columns, layout.hostRow(), layout.hostRow() + 1};
    const Pen hostPen{0x07FF, 0x0000, false, -1};
    Fill(&frame, host, hostPen);
    Put(&frame, layout.hostRow(), 0, host, hostLine, hostPen);
  }
  return frame;
}

void NoteTooSmall(Frame* frame, int terminalRows, int terminalColumns) {
  if (terminalRows >= frame->rows() && terminalColumns >= frame->columns()) return;
  if (terminalRows <= 0 || terminalColumns <= 0) return;
  char note[96];
  std::snprintf(note, sizeof note, "Window %dx%d too small: the screen needs %dx%d",
                terminalColumns, terminalRows, frame->columns(), frame->rows());
  const int row = std::min(terminalRows, frame->rows()) - 1;
  const CellRect line{0, frame->columns(), row, row + 1};
  const Pen pen{0x0000, 0xFFE0, true, -1};
  Fill(frame, line, pen);
  Put(frame, row, 0, line, note, pen);
}

std::string RenderFrame(const Frame* previous, const Frame& next, int terminalRows,
                        int terminalColumns) {
  std::string out;
  if (previous != nullptr &&
      (previous->rows() != next.rows() || previous->columns() != next.columns())) {
    previous = nullptr;
  }
  if (previous == nullptr) out += "\x1b[0m\x1b[2J";
  const int rows = std::min(terminalRows, next.rows());
  const int columns = std::min(terminalColumns, next.columns());
  int cursorRow = -1, cursorColumn = -1;
  bool penKnown = false;
  Cell pen;
  for (int row = 0; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const Cell& cell = next.At(row, column);
      if (previous != nullptr && previous->At(row, column).SameLook(cell)) continue;
      if (row != cursorRow || column != cursorColumn) {
        char move[32];
        std::snprintf(move, sizeof move, "\x1b[%d;%dH", row + 1, column + 1);
        out += move;
      }
      if (!penKnown || pen.fg != cell.fg || pen.bg != cell.bg || pen.bold != cell.bold) {
        out += cell.bold ? "\x1b[0;1" : "\x1b[0";
        AppendColour(&out, false, cell.fg);
        AppendColour(&out, true, cell.bg);
        out += 'm';
        pen = cell;
        penKnown = true;
      }
      out += cell.glyph;
      cursorRow = row;
      cursorColumn = column + 1;
    }
  }
  if (penKnown) out += "\x1b[0m";
  return out;
}

}  // namespace termsim
