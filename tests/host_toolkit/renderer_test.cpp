// The pixel renderer: its fonts, texts kept inside their controls, drawing only what
// changed, any screen size, and PNG files.
#include "host/toolkit/render/renderer.h"

#include <gtest/gtest.h>
#include <string>

#include "host/toolkit/look/cp1251.h"
#include "host/toolkit/render/font.h"
#include "host/toolkit/render/png_file.h"
#include "tests/host_services/test_support.h"
#include "tests/host_toolkit/sample_screens.h"

namespace {

using termsim::ControlInfo;
using termsim::Image;
using termsim::Rect;
using termsim::Screen;
using test::Control;
using test::MainScreen;

Image Render(const Screen& screen, int focus = -1) {
  Image image;
  termsim::RenderScreen(screen, focus, &image);
  return image;
}

// The pixels where two pictures differ, as the smallest rectangle holding them.
Rect Differences(const Image& a, const Image& b) {
  Rect found;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (a.At(x, y) != b.At(x, y)) found = found.Union(Rect{x, y, x + 1, y + 1});
    }
  }
  return found;
}

bool Inside(const Rect& inner, const Rect& outer) { return inner.Intersect(outer) == inner; }

TEST(RendererFonts, EveryPrintableCharacterOfTheCodePageHasAGlyph) {
  for (const termsim::Font* font :
       {&termsim::TextFont(), &termsim::BoldFont(), &termsim::LargeFont()}) {
    for (int i = 0; i < 256; ++i) {
      const unsigned char byte = static_cast<unsigned char>(i);
      const bool printable = termsim::IsPrintable(termsim::Cp1251ToCodePoint(byte));
      EXPECT_EQ(font->Glyph(byte) != nullptr, printable)
          << "byte 0x" << std::hex << i << " in the font " << font->width() << "x"
          << font->height();
    }
    // Each letter its own shape: Ж, Ш and Щ differ, and none is blank.
    const std::string letters = termsim::Utf8ToCp1251("ЖШЩ");
    int set[3] = {};
    for (int i = 0; i < 3; ++i) {
      const uint8_t* glyph =
          font->Glyph(static_cast<unsigned char>(letters[static_cast<size_t>(i)]));
      for (int y = 0; y < font->height(); ++y) {
        for (int x = 0; x < font->width(); ++x) set[i] += font->Pixel(glyph, x, y) << ((x + y) % 3);
      }
    }
    EXPECT_GT(set[0], 0);
    EXPECT_NE(set[0], set[1]);
    EXPECT_NE(set[1], set[2]);
  }
}

// Each control's text, drawn alone on an otherwise empty screen, changes pixels only
// inside that control: long lines, a text block taller than its control, a large value
// wider than its control, a button's text and the status line's gadgets.
TEST(RendererClipping, NoTextLeavesItsControl) {
  Screen empty = MainScreen();
  const std::string longLine(200, 'W');
  empty.form.controls = {
      Control(termsim::ControlKind::kStatic, 2, 0, 100, 10, ""),
      Control(termsim::ControlKind::kStatic, 102, 0, 100, 10, "", 5),
      Control(termsim::ControlKind::kMultiLine, 2, 12, 60, 30, "", 1),
      Control(termsim::ControlKind::kStatic, 64, 12, 60, 30, "", 4),
      Control(termsim::ControlKind::kButton, 130, 12, 40, 20, ""),
      Control(termsim::ControlKind::kStatic, 300, 190, 40, 40, "", 0),  // reaches past the client area
  };
  const std::string texts[] = {
      longLine, "123456789012345", std::string(60, 'W') + "ЖЖ\nA\nB\nC\nD\nE\nF",
      "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", "UPLOAD UPLOAD", longLine + "\n" + longLine + "\n" + longLine};
  const Image base = Render(empty);
  for (size_t i = 0; i < empty.form.controls.size(); ++i) {
    Screen screen = empty;
    ControlInfo& control = screen.form.controls[i];
    control.text = termsim::Utf8ToCp1251(texts[i]);
    const Rect changed = Differences(base, Render(screen));
    EXPECT_FALSE(changed.Empty()) << "control " << i << " drew its text";
    EXPECT_TRUE(Inside(changed, termsim::ControlRect(screen, control)))
        << "control " << i << " drew at [" << changed.x0 << ", " << changed.y0 << ") .. ["
        << changed.x1 << ", " << changed.y1 << ")";
  }
  for (size_t i = 0; i < empty.statusLine.controls.size(); ++i) {
    Screen screen = empty;
    ControlInfo& gadget = screen.statusLine.controls[i];
    gadget.text = longLine;
    gadget.levelText = longLine;
    const Rect changed = Differences(base, Render(screen));
    EXPECT_FALSE(changed.Empty());
    EXPECT_TRUE(Inside(changed, termsim::GadgetRect(screen, gadget))) << "gadget " << i;
  }
}

// Drawing again only the changed areas over the old picture gives the new picture, and a
// change of one control's text redraws that control alone.
TEST(RendererChanges, RedrawingTheChangedAreasGivesTheWholeNewPicture) {
  const Screen before = MainScreen();
  struct Change {
    const char* what;
    void (*apply)(Screen*, int*);
  };
  const Change changes[] = {
      {"value text", [](Screen* s, int*) { s->form.controls[1].text = "3949999"; }},
      {"framed value", [](Screen* s, int*) { s->form.controls[7].text = "99"; }},
      {"clock", [](Screen* s, int*) { s->statusLine.controls[0].text = "14:06"; }},
      {"battery level", [](Screen* s, int*) {
         s->statusLine.controls[1].status = 0x1000 | 12;
         s->statusLine.controls[1].levelText = "12";
       }},
      {"control moved", [](Screen* s, int*) { s->form.controls[3].y += 40; }},
      {"focus", [](Screen*, int* focus) { *focus = 6; }},
      {"control added",
       [](Screen* s, int*) { s->form.controls.push_back(Control(termsim::ControlKind::kStatic, 2, 180, 50, 10, "X")); }},
      {"form shown anew", [](Screen* s, int*) {
         ++s->formSerial;
         s->form.flags = 32;
         s->form.second = 0x8000;
       }},
      {"status line gone", [](Screen* s, int*) { s->hasStatusLine = false; }},
  };
  for (const Change& change : changes) {
    SCOPED_TRACE(change.what);
    Screen after = before;
    int focus = -1;
    change.apply(&after, &focus);
    Image picture = Render(before);
    const std::vector<Rect> areas = termsim::ChangedAreas(before, -1, after, focus);
    ASSERT_FALSE(areas.empty());
    for (const Rect& area : areas) termsim::RenderArea(after, focus, area, &picture);
    EXPECT_TRUE(picture == Render(after, focus));
  }
  Screen after = before;
  after.form.controls[1].text = "1";
  const std::vector<Rect> areas = termsim::ChangedAreas(before, -1, after, -1);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], termsim::ControlRect(after, after.form.controls[1]));
  EXPECT_TRUE(termsim::ChangedAreas(before, 6, before, 6).empty());
}

// Sizes come from the screen: at 480 x 272 the status line, the client area and the
// title bar span the whole width, and the bar sits on the bottom line.
TEST(RendererSizes, DrawsAScreenOfAnySize) {
  const Screen screen = MainScreen(480, 272);
  const Image picture = Render(screen);
  ASSERT_EQ(picture.width, 480);
  ASSERT_EQ(picture.height, 272);
  EXPECT_EQ(picture.At(479, 271), screen.form.first) << "framed form: bar in its first colour";
  EXPECT_EQ(picture.At(479, 272 - termsim::kTitleBarHeight), screen.form.first);
  EXPECT_EQ(picture.At(400, 200), screen.form.second) << "client area below the controls";
  EXPECT_EQ(picture.At(400, 10), screen.statusLine.second) << "status line between the gadgets";
  const Image small = Render(MainScreen());
  EXPECT_EQ(small.width, 320);
  EXPECT_EQ(small.At(319, 239), screen.form.first);
}

TEST(PngFiles, EveryColourComesBackAsWrittenAtAnyScale) {
  const test::TempDir temp;
  const std::string& dir = temp.path();
  Image all(256, 256);
  for (int i = 0; i < 65536; ++i) all.pixels[static_cast<size_t>(i)] = static_cast<uint16_t>(i);
  std::string error;
  ASSERT_TRUE(termsim::WritePng(dir + "/all.png", all, 1, &error)) << error;
  Image back;
  ASSERT_TRUE(termsim::ReadPng(dir + "/all.png", &back, &error)) << error;
  EXPECT_TRUE(back == all);

  ASSERT_TRUE(termsim::WritePng(dir + "/big.png", all, 3, &error)) << error;
  ASSERT_TRUE(termsim::ReadPng(dir + "/big.png", &back, &error)) << error;
  ASSERT_EQ(back.width, 768);
  ASSERT_EQ(back.height, 768);
  for (int y = 0; y < back.height; y += 7) {
    for (int x = 0; x < back.width; x += 5) {
      ASSERT_EQ(back.At(x, y), all.At(x / 3, y / 3)) << x << "," << y;
    }
  }

  EXPECT_FALSE(termsim::WritePng(dir + "/none/x.png", all, 1, &error));
  EXPECT_NE(error.find(dir + "/none/x.png"), std::string::npos) << error;
  // A picture that could not be flushed whole is a failure, though libpng wrote it all.
  EXPECT_FALSE(termsim::WritePng("/dev/full", all, 1, &error));
  EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  EXPECT_FALSE(termsim::ReadPng(dir + "/none.png", &back, &error));
  EXPECT_NE(error.find(dir + "/none.png"), std::string::npos) << error;
}

}  // namespace
