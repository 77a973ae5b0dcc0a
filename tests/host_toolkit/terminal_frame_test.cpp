// The terminal display's cells: where controls land at 80 columns, what is drawn in
// them, and the escape sequences that update a terminal.
#include "host/toolkit/displays/terminal/terminal_frame.h"

#include <gtest/gtest.h>

#include "host/toolkit/look/cp1251.h"
#include "tests/host_toolkit/sample_screens.h"

namespace {

using termsim::CellRect;
using termsim::ClientCells;
using termsim::ComposeFrame;
using termsim::ControlInfo;
using termsim::Frame;
using termsim::RenderFrame;
using termsim::Screen;
using test::Control;
using test::MainScreen;

CellRect RectOf(const ControlInfo& c, const Screen& screen) {
  return ClientCells(c.x, c.y, c.w, c.h, termsim::LayoutFor(screen.width, screen.height));
}

// The characters of terminal output without its control sequences.
std::string Printed(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      i += 2;
      while (i < bytes.size() && !(bytes[i] >= 0x40 && bytes[i] <= 0x7E)) ++i;
      continue;
    }
    text += bytes[i];
  }
  return text;
}

// At 320 x 240 the screen fills 80 columns; at 480 x 272 the grid grows with it.
TEST(TerminalCells, MainScreenControlsNeverShareACell) {
  for (const Screen& screen : {MainScreen(), MainScreen(480, 272)}) {
    SCOPED_TRACE(std::to_string(screen.width) + "x" + std::to_string(screen.height));
    const int columns = screen.width / 4;
    EXPECT_EQ(ComposeFrame(screen, -1).columns(), columns);
    const auto& controls = screen.form.controls;
    for (size_t i = 0; i < controls.size(); ++i) {
      const CellRect a = RectOf(controls[i], screen);
      EXPECT_FALSE(a.Empty()) << "control " << i;
      EXPECT_GE(a.col0, 0);
      EXPECT_LE(a.col1, columns);
      for (size_t j = i + 1; j < controls.size(); ++j) {
        EXPECT_FALSE(a.Overlaps(RectOf(controls[j], screen))) << "controls " << i << " and " << j;
      }
    }
  }
}

TEST(TerminalCells, NeighboursOnARowMeetWithoutAGapOrOverlap) {
  EXPECT_EQ(ClientCells(2, 100, 105, 28).col1, ClientCells(107, 100, 105, 28).col0);
  EXPECT_EQ(ClientCells(107, 100, 105, 28).col1, ClientCells(212, 100, 105, 28).col0);
  EXPECT_EQ(ClientCells(2, 130, 158, 35).col1, ClientCells(160, 130, 158, 35).col0);
}

TEST(TerminalCells, RowsAreTenPixelsBelowTheTitleRow) {
  const CellRect mode = ClientCells(2, 0, 316, 10);
  EXPECT_EQ(mode.row0, 2);
  EXPECT_EQ(mode.row1, 3);
  const CellRect button = ClientCells(2, 130, 158, 35);
  EXPECT_EQ(button.row0, 15);
  EXPECT_EQ(button.row1, 18);
  const CellRect low = ClientCells(0, 215, 320, 100);
  EXPECT_EQ(low.row1, 24) << "clipped to the client area";
}

TEST(TerminalCells, EachControlIsDrawnOnlyInsideItsOwnCells) {
  for (const Screen& screen : {MainScreen(), MainScreen(480, 272)}) {
    const Frame frame = ComposeFrame(screen, -1);
    const auto& controls = screen.form.controls;
    for (size_t i = 0; i < controls.size(); ++i) {
      const CellRect rect = RectOf(controls[i], screen);
      for (int row = 0; row < frame.rows(); ++row) {
        for (int column = 0; column < frame.columns(); ++column) {
          const bool inside = row >= rect.row0 && row < rect.row1 && column >= rect.col0 &&
                              column < rect.col1;
          EXPECT_EQ(frame.At(row, column).owner == static_cast<int>(i), inside)
              << screen.width << " wide: control " << i << " at row " << row << " column "
              << column;
        }
      }
    }
  }
}

TEST(TerminalCells, TextsAppearAsUtf8InTheirRows) {
  const Frame frame = ComposeFrame(MainScreen(), -1);
  EXPECT_NE(frame.RowText(0).find("14:05"), std::string::npos) << frame.RowText(0);
  EXPECT_NE(frame.RowText(0).find("57"), std::string::npos) << frame.RowText(0);
  EXPECT_NE(frame.RowText(1).find("KELDRAN Oct 14 2017"), std::string::npos);
  EXPECT_EQ(frame.RowText(2).find(" РЕЖИМ: БАТАРЕЯ"), std::string::npos);
  EXPECT_EQ(frame.RowText(2).rfind("РЕЖИМ: БАТАРЕЯ", 0), 0u) << frame.RowText(2);
  EXPECT_NE(frame.RowText(3).find("4200000"), std::string::npos);
  const std::string percents = frame.RowText(12);
  const size_t cur = percents.find("94%"), jit = percents.find("93%"), prc = percents.find("92%");
  ASSERT_NE(cur, std::string::npos) << percents;
  ASSERT_NE(jit, std::string::npos) << percents;
  ASSERT_NE(prc, std::string::npos) << percents;
  EXPECT_LT(cur, jit);
  EXPECT_LT(jit, prc);
  const std::string buttons = frame.RowText(16);
  EXPECT_NE(buttons.find("UPLOAD"), std::string::npos) << buttons;
  EXPECT_NE(buttons.find("1234 │"), std::string::npos) << "framed value aligned right: " << buttons;
  EXPECT_NE(frame.RowText(24).find("Bksp: UPLOAD  ^C: quit"), std::string::npos)
      << "the help names the button Backspace presses, and fits: " << frame.RowText(24);
}

TEST(TerminalCells, HelpSaysWhenTheProgramIsQuitting) {
  Screen screen = MainScreen();
  screen.form.controls[6].code = 13;  // no button of Backspace's: none is named
  EXPECT_EQ(ComposeFrame(screen, -1).RowText(24).find("Bksp"), std::string::npos);
  screen.quitting = true;
  EXPECT_EQ(ComposeFrame(screen, -1).RowText(24).rfind("Quitting once the work under way is done", 0),
            0u);
}

TEST(TerminalCells, EveryCellHoldsOneCharacter) {
  const Frame frame = ComposeFrame(MainScreen(), -1);
  for (int row = 0; row < frame.rows(); ++row) {
    for (int column = 0; column < frame.columns(); ++column) {
      const std::string& glyph = frame.At(row, column).glyph;
      ASSERT_FALSE(glyph.empty());
      const unsigned char lead = static_cast<unsigned char>(glyph[0]);
      const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      EXPECT_EQ(glyph.size(), length) << "row " << row << " column " << column;
    }
  }
}

TEST(TerminalCells, FocusedButtonIsHighlighted) {
  const Screen screen = MainScreen();
  const Frame plain = ComposeFrame(screen, -1);
  const Frame focused = ComposeFrame(screen, 6);
  EXPECT_NE(plain.At(16, 5).bg, focused.At(16, 5).bg);
  EXPECT_NE(focused.RowText(16).find("> UPLOAD <"), std::string::npos);
}

TEST(TerminalCells, TextStaysReadableOnItsBackground) {
  EXPECT_EQ(termsim::ReadableOn(0x0000, 0x001F), 0xFFFF) << "black on blue turns white";
  EXPECT_EQ(termsim::ReadableOn(0xFFE0, 0x0000), 0xFFE0) << "yellow on black stays";
  EXPECT_EQ(termsim::ReadableOn(0xFFFF, 0xFFE0), 0x0000) << "white on yellow turns black";
  const Frame frame = ComposeFrame(MainScreen(), -1);
  EXPECT_EQ(frame.At(3, 40).fg, 0xFFFF);
}

TEST(TerminalCells, LevelFillFollowsThePercentageAndTheLowFlag) {
  Screen screen = MainScreen();
  ControlInfo& level = screen.statusLine.controls[1];
  level.status = 100;
  Frame frame = ComposeFrame(screen, -1);
  // 20 px at x = 300: columns 75..79, "[" + three fill cells + "]".
  EXPECT_EQ(frame.At(0, 75).glyph, "[");
  EXPECT_EQ(frame.At(0, 79).glyph, "]");
  for (int column = 76; column <= 78; ++column) EXPECT_EQ(frame.At(0, column).bg, 0xFFE0);
  level.status = 0x1000 | 34;
  frame = ComposeFrame(screen, -1);
  EXPECT_EQ(frame.At(0, 76).bg, 0xF800);
  EXPECT_EQ(frame.At(0, 77).bg, 0x0410);
  level.status = 0x1000 | 3;  // less than a cell's worth still shows, in the low colour
  EXPECT_EQ(ComposeFrame(screen, -1).At(0, 76).bg, 0xF800);
  level.status = 0x1000;
  EXPECT_EQ(ComposeFrame(screen, -1).At(0, 76).bg, 0x0410);
}

TEST(TerminalRender, FirstFrameClearsAndUsesTrueColourAndUtf8) {
  const std::string bytes = RenderFrame(nullptr, ComposeFrame(MainScreen(), -1), 25, 80);
  EXPECT_NE(bytes.find("\x1b[2J"), std::string::npos);
  EXPECT_NE(bytes.find("48;2;0;0;255"), std::string::npos) << "blue client area";
  EXPECT_NE(bytes.find("38;2;255;255;0"), std::string::npos) << "yellow clock";
  EXPECT_NE(bytes.find("РЕЖИМ: БАТАРЕЯ"), std::string::npos);
}

TEST(TerminalRender, UnchangedFrameWritesNothingAndAChangeOnlyItsCells) {
  const Screen screen = MainScreen();
  const Frame before = ComposeFrame(screen, -1);
  EXPECT_EQ(RenderFrame(&before, before, 25, 80), "");
  Screen changed = screen;
  changed.form.controls[1].text = "3950001";
  const std::string bytes = RenderFrame(&before, ComposeFrame(changed, -1), 25, 80);
  EXPECT_EQ(Printed(bytes), "1") << "only the changed cell is redrawn";
  EXPECT_EQ(bytes.find("\x1b[2J"), std::string::npos);
}

TEST(TerminalRender, OutputIsClippedToTheTerminalAndSaysWhatSizeIsNeeded) {
  Frame frame = ComposeFrame(MainScreen(), -1);
  termsim::NoteTooSmall(&frame, 24, 60);
  const std::string bytes = RenderFrame(nullptr, frame, 24, 60);
  EXPECT_EQ(bytes.find("\x1b[25;"), std::string::npos);
  EXPECT_EQ(bytes.find(";61H"), std::string::npos);
  EXPECT_EQ(bytes.find("Esc: cancel"), std::string::npos);
  EXPECT_NE(Printed(bytes).find("Window 60x24 too small: the screen needs 80x25"),
            std::string::npos);
  Frame fits = ComposeFrame(MainScreen(), -1);
  termsim::NoteTooSmall(&fits, 25, 80);
  EXPECT_EQ(fits.RowText(24), ComposeFrame(MainScreen(), -1).RowText(24));
}

}  // namespace
