// The terminal display's picture: the pixel screen mapped onto a grid of character
// cells, and the escape sequences that bring a terminal from one grid to the next.
//
// Rows: 0 the status line, 1 the title of the form, then the client area at 10 pixels
// a row, then a line of help on the keys and, when the host has keys or a note of its
// own, a line of those. Columns: 4 pixels each. A control at x with
// width w covers the columns [x/4, (x+w)/4) (floor at both ends), so controls that do
// not overlap in pixels do not share a cell. The 320 x 240 screen makes 80 x 25 cells.
#ifndef HOST_TOOLKIT_DISPLAYS_TERMINAL_TERMINAL_FRAME_H
#define HOST_TOOLKIT_DISPLAYS_TERMINAL_TERMINAL_FRAME_H

#include <string>
#include <vector>

#include "host/toolkit/look/colour.h"
#include "host/toolkit/core/snapshot.h"

namespace termsim {

constexpr int kStatusRow = 0;
constexpr int kTitleRow = 1;
constexpr int kClientTopRow = 2;
constexpr int kPixelsPerColumn = 4;
constexpr int kPixelsPerRow = 10;

// The size of the grid; the default is the 320 x 240 screen's, without a host line.
struct FrameLayout {
  int columns = 80;
  int clientRows = 22;
  bool hostLine = false;
  int helpRow() const { return kClientTopRow + clientRows; }
  int hostRow() const { return helpRow() + 1; }
  int rows() const { return helpRow() + (hostLine ? 2 : 1); }
};

// The grid that holds a screen of width x height pixels.
FrameLayout LayoutFor(int width, int height, bool hostLine = false);

// The line of help under the screen (Windows-1251): the keys, with Backspace named
// after the form's button that it presses, if there is one; while the program quits,
// what that means.
std::string HelpText(const Screen& screen);

// A rectangle of cells: columns [col0, col1), rows [row0, row1).
struct CellRect {
  int col0 = 0, col1 = 0, row0 = 0, row1 = 0;
  bool Empty() const { return col0 >= col1 || row0 >= row1; }
  bool Overlaps(const CellRect& other) const;
};

// The cells of a control at client coordinates, clipped to the client area; a control
// too small for a whole cell still gets one row and one column.
CellRect ClientCells(int x, int y, int w, int h, const FrameLayout& layout = FrameLayout());
// The cells of a status-line gadget (row 0).
CellRect StatusCells(int x, int w, const FrameLayout& layout = FrameLayout());

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
  explicit Frame(const FrameLayout& layout = FrameLayout())
      : layout_(layout), cells_(static_cast<size_t>(layout.columns * layout.rows())) {}
  const FrameLayout& layout() const { return layout_; }
  int rows() const { return layout_.rows(); }
  int columns() const { return layout_.columns; }
  Cell& At(int row, int column) { return cells_[static_cast<size_t>(row * columns() + column)]; }
  const Cell& At(int row, int column) const {
    return cells_[static_cast<size_t>(row * columns() + column)];
  }
  // The glyphs of a row, UTF-8.
  std::string RowText(int row) const;

 private:
  FrameLayout layout_;
  std::vector<Cell> cells_;
};

// The grid for a screen; focusedControl is the index (in the form's controls) of the
// button with the focus, or -1. A host line (Windows-1251), when not empty, gets a row of
// its own under the help.
Frame ComposeFrame(const Screen& screen, int focusedControl, const std::string& hostLine = "");

// Escape sequences that turn a terminal showing `previous` into `next`, touching only
// cells that differ (all of them when previous is null or of another size), clipped to
// the terminal's size.
std::string RenderFrame(const Frame* previous, const Frame& next, int terminalRows,
                        int terminalColumns);

// On a terminal smaller than the frame, replaces the last row the terminal shows with
// a note of the size the screen needs; a frame that fits is left as it is.
void NoteTooSmall(Frame* frame, int terminalRows, int terminalColumns);

}  // namespace termsim

#endif
