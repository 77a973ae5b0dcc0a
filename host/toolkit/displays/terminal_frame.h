// The terminal display's picture: the 320 x 240 pixel screen mapped onto a grid of
// character cells, and the escape sequences that bring a terminal from one grid to
// the next.
//
// Rows: 0 the status line, 1 the title of the form, 2..23 the client area (10 pixels
// a row), 24 a line of help on the keys. Columns: 4 pixels each, 80 in all. A control
// at x with width w covers the columns [x/4, (x+w)/4) (floor at both ends), so
// controls that do not overlap in pixels do not share a cell.
#ifndef HOST_TOOLKIT_DISPLAYS_TERMINAL_FRAME_H
#define HOST_TOOLKIT_DISPLAYS_TERMINAL_FRAME_H

#include <string>
#include <vector>

#include "host/toolkit/colour.h"
#include "host/toolkit/snapshot.h"

namespace termsim {

constexpr int kFrameColumns = 80;
constexpr int kFrameRows = 25;
constexpr int kStatusRow = 0;
constexpr int kTitleRow = 1;
constexpr int kClientTopRow = 2;
constexpr int kClientRows = 22;
constexpr int kHelpRow = 24;
constexpr int kPixelsPerColumn = 4;
constexpr int kPixelsPerRow = 10;

extern const char kHelpText[];

// A rectangle of cells: columns [col0, col1), rows [row0, row1).
struct CellRect {
  int col0 = 0, col1 = 0, row0 = 0, row1 = 0;
  bool Empty() const { return col0 >= col1 || row0 >= row1; }
  bool Overlaps(const CellRect& other) const;
};

// The cells of a control at client coordinates, clipped to the client area; a control
// too small for a whole cell still gets one row and one column.
CellRect ClientCells(int x, int y, int w, int h);
// The cells of a status-line gadget (row 0).
CellRect StatusCells(int x, int w);

struct Cell {
  std::string glyph = " ";  // one character, UTF-8
  unsigned short fg = 0xFFFF, bg = 0x0000;
  bool bold = false;
  int owner = -1;  // index of the form's control drawn here; -1 none, -2 status line
  bool SameLook(const Cell& other) const {
    return glyph == other.glyph && fg == other.fg && bg == other.bg && bold == other.bold;
  }
};

class Frame {
 public:
  Frame() : cells_(kFrameColumns * kFrameRows) {}
  Cell& At(int row, int column) { return cells_[row * kFrameColumns + column]; }
  const Cell& At(int row, int column) const { return cells_[row * kFrameColumns + column]; }
  // The glyphs of a row, UTF-8.
  std::string RowText(int row) const;

 private:
  std::vector<Cell> cells_;
};

// The grid for a screen; focusedControl is the index (in the form's controls) of the
// button with the focus, or -1.
Frame ComposeFrame(const Screen& screen, int focusedControl);

// Escape sequences that turn a terminal showing `previous` into `next`, touching only
// cells that differ (all of them when previous is null), clipped to the terminal's size.
std::string RenderFrame(const Frame* previous, const Frame& next, int terminalRows,
                        int terminalColumns);

}  // namespace termsim

#endif
