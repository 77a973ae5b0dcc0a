#include "host/toolkit/render/renderer.h"

#include <algorithm>
#include <string>

#include "host/toolkit/look/colour.h"
#include "host/toolkit/look/look.h"
#include "host/toolkit/look/screen_text.h"
#include "host/toolkit/render/font.h"

namespace termsim {
namespace {

constexpr int kTextIndent = 4;  // pixels before a title or the clock's text

// ReadableOn for many pixels: it remembers its recent answers.
uint16_t Readable(uint16_t fg, uint16_t bg) {
  struct Entry {
    uint16_t fg, bg, result;
    bool valid;
  };
  thread_local Entry cache[64] = {};
  Entry& entry = cache[(fg * 31u + bg) & 63u];
  if (!entry.valid || entry.fg != fg || entry.bg != bg) {
    entry = Entry{fg, bg, ReadableOn(fg, bg), true};
  }
  return entry.result;
}

// Draws into an image, never outside its clip rectangle.
class Painter {
 public:
  Painter(Image* image, const Rect& clip) : image_(image), clip_(clip.Intersect(image->Bounds())) {}

  // The same image, clipped to the part of this clip inside rect.
  Painter Within(const Rect& rect) const {
    Painter inner = *this;
    inner.clip_ = clip_.Intersect(rect);
    return inner;
  }
  bool Empty() const { return clip_.Empty(); }

  void Fill(const Rect& rect, uint16_t colour) {
    const Rect r = rect.Intersect(clip_);
    if (r.Empty()) return;
    for (int y = r.y0; y < r.y1; ++y) std::fill_n(&image_->At(r.x0, y), r.Width(), colour);
  }

  // A one-pixel border just inside rect.
  void Outline(const Rect& rect, uint16_t colour) {
    Fill(Rect{rect.x0, rect.y0, rect.x1, rect.y0 + 1}, colour);
    Fill(Rect{rect.x0, rect.y1 - 1, rect.x1, rect.y1}, colour);
    Fill(Rect{rect.x0, rect.y0, rect.x0 + 1, rect.y1}, colour);
    Fill(Rect{rect.x1 - 1, rect.y0, rect.x1, rect.y1}, colour);
  }

  // One line of Windows-1251 text with the top left corner of its first glyph at (x, y).
  // Each pixel of a glyph gets a colour readable on the pixel under it.
  void Text(const Font& font, int x, int y, const std::string& text, uint16_t colour) {
    if (clip_.Empty() || y >= clip_.y1 || y + font.height() <= clip_.y0) return;
    const int rowBegin = std::max(0, clip_.y0 - y);
    const int rowEnd = std::min(font.height(), clip_.y1 - y);
    for (const char c : text) {
      const int left = x;
      if (left >= clip_.x1) break;
      x += font.width();
      if (x <= clip_.x0) continue;
      const uint8_t* glyph = font.Glyph(static_cast<unsigned char>(c));
      if (glyph == nullptr) continue;
      const int columnBegin = std::max(0, clip_.x0 - left);
      const int columnEnd = std::min(font.width(), clip_.x1 - left);
      for (int row = rowBegin; row < rowEnd; ++row) {
        for (int column = columnBegin; column < columnEnd; ++column) {
          if (!font.Pixel(glyph, column, row)) continue;
          uint16_t& pixel = image_->At(left + column, y + row);
          pixel = Readable(colour, pixel);
        }
      }
    }
  }

 private:
  Image* image_;
  Rect clip_;
};

int TextWidth(const Font& font, const std::string& text) {
  return font.width() * static_cast<int>(text.size());
}

// Where a text of this width or block of this height starts when centred in r: at r's
// own edge when it does not fit.
int CentredX(const Rect& r, int width) { return r.x0 + std::max(0, (r.Width() - width) / 2); }
int CentredY(const Rect& r, int height) { return r.y0 + std::max(0, (r.Height() - height) / 2); }

Rect Box(int x, int y, int w, int h) { return Rect{x, y, x + w, y + h}; }

// A control's own rectangle in screen pixels, before clipping.
Rect ControlBox(const ControlInfo& control) {
  return Box(control.x, kStatusLineHeight + control.y, control.w, control.h);
}

void DrawTextControl(Painter& p, const ControlInfo& control, const Rect& box) {
  p.Fill(box, control.second);
  const std::vector<std::string> lines = SplitLines(control.text);
  const int count = static_cast<int>(lines.size());
  switch (control.style) {
    case kStyleTextBlock: {  // each line wrapped at the control's width
      const Font& font = TextFont();
      int row = 0;
      for (const std::string& line : lines) {
        for (const std::string& piece : WrapLine(line, std::max(1, box.Width() / font.width()))) {
          p.Text(font, box.x0, box.y0 + row++ * font.height(), piece, control.first);
        }
      }
      return;
    }
    case kStyleFramedValue: {  // one character's room from the frame
      const Font& font = TextFont();
      Rect inner = box;
      if (box.Height() >= font.height() + 4 && box.Width() >= 3 * font.width()) {
        p.Outline(box, Readable(control.first, control.second));
        inner = box.Inset(2);
      }
      const int top = CentredY(inner, count * font.height());
      for (int i = 0; i < count; ++i) {
        const int x = std::max(inner.x0, inner.x1 - font.width() - TextWidth(font, lines[i]));
        p.Text(font, x, top + i * font.height(), lines[i], control.first);
      }
      return;
    }
    case kStyleLargeValue: {
      const Font& font = LargeFont();
      const int top = CentredY(box, count * font.height());
      for (int i = 0; i < count; ++i) {
        p.Text(font, CentredX(box, TextWidth(font, lines[i])), top + i * font.height(), lines[i],
               control.first);
      }
      return;
    }
    default: {  // plain
      const Font& font = TextFont();
      for (int i = 0; i < count; ++i) {
        p.Text(font, box.x0, box.y0 + i * font.height(), lines[i], control.first);
      }
      return;
    }
  }
}

void DrawButton(Painter& p, const ControlInfo& control, const Rect& box, bool focused) {
  const ButtonLook look = ButtonLookOf(control, focused);
  const uint16_t ink = Readable(look.ink, look.background);
  p.Fill(box, look.background);
  p.Outline(box, ink);
  if (focused) p.Outline(box.Inset(2), ink);
  const Font& font = BoldFont();
  p.Text(font, CentredX(box, TextWidth(font, look.text)), CentredY(box, font.height()), look.text,
         ink);
}

void DrawClock(Painter& p, const ControlInfo& clock, const Rect& box) {
  p.Fill(box, clock.second);
  const Font& font = BoldFont();
  p.Text(font, box.x0 + kTextIndent, CentredY(box, font.height()), clock.text, clock.first);
}

// The battery: an outline with a terminal on the right, the bar inside it, the text over it.
void DrawIndicator(Painter& p, const ControlInfo& gadget, const Rect& box) {
  const IndicatorLook look = IndicatorLookOf(gadget);
  p.Fill(box, look.background);
  Rect body = box;
  Rect inner = box;
  if (box.Width() >= 8 && box.Height() >= 8) {
    body = Rect{box.x0, box.y0 + 2, box.x1 - 2, box.y1 - 2};
    const int middle = (box.y0 + box.y1) / 2;
    p.Fill(Rect{body.x1, middle - 3, box.x1, middle + 3}, look.outline);
    p.Outline(body, look.outline);
    inner = body.Inset(1);
  }
  const int filled = (look.percent * inner.Width() + 50) / 100;
  p.Fill(Rect{inner.x0, inner.y0, inner.x0 + filled, inner.y1}, look.fill);
  p.Fill(Rect{inner.x0 + filled, inner.y0, inner.x1, inner.y1}, look.empty);
  const Font& font = TextFont();
  p.Text(font, CentredX(body, TextWidth(font, look.text)), CentredY(body, font.height()),
         look.text, look.ink);
}

void DrawControl(Painter& p, const ControlInfo& control, const Rect& box, bool focused) {
  switch (control.kind) {
    case ControlKind::kButton:
      DrawButton(p, control, box, focused);
      return;
    case ControlKind::kClock:
      DrawClock(p, control, box);
      return;
    case ControlKind::kBatLevel:
      DrawIndicator(p, control, box);
      return;
    case ControlKind::kStatic:
    case ControlKind::kMultiLine:
      DrawTextControl(p, control, box);
      return;
  }
}

void DrawStatusLine(const Painter& screen, const Screen& s) {
  const Rect line = StatusLineRect(s);
  Painter p = screen.Within(line);
  if (p.Empty()) return;
  p.Fill(line, s.statusLine.second);
  for (const ControlInfo& gadget : s.statusLine.controls) {
    const Rect box = Box(gadget.x, gadget.y, gadget.w, gadget.h);
    Painter inside = p.Within(box);
    if (!inside.Empty()) DrawControl(inside, gadget, box, false);
  }
}

// The client area in the form's second colour, the title in a bar along its bottom (see
// TitleLook), and a framed form's client area framed.
void DrawForm(const Painter& screen, const Screen& s, int focusedControl) {
  const FormInfo& form = s.form;
  const Rect client = ClientRect(s);
  Painter p = screen.Within(client);
  if (p.Empty()) return;
  p.Fill(client, form.second);
  const TitleLook look = TitleLookOf(form);
  const Rect titleBar{client.x0, client.y1 - kTitleBarHeight, client.x1, client.y1};
  if (look.framed) {
    p.Outline(client, look.frame);
    p.Fill(titleBar, look.bar);
  }
  const Font& font = BoldFont();
  p.Within(titleBar).Text(font, titleBar.x0 + kTextIndent, CentredY(titleBar, font.height()),
                          form.title, look.ink);
  for (size_t i = 0; i < form.controls.size(); ++i) {
    const ControlInfo& control = form.controls[i];
    const Rect box = ControlBox(control);
    Painter inside = p.Within(box);
    if (!inside.Empty()) DrawControl(inside, control, box, static_cast<int>(i) == focusedControl);
  }
}

// Adds the areas of the controls that differ; all of `whole` when the lists differ in length.
void CompareControls(const std::vector<ControlInfo>& before,
                     const std::vector<ControlInfo>& after, const Rect& whole,
                     Rect (*place)(const ControlInfo&), std::vector<Rect>* areas) {
  if (before.size() != after.size()) {
    areas->push_back(whole);
    return;
  }
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    const Rect area = place(before[i]).Union(place(after[i])).Intersect(whole);
    if (!area.Empty()) areas->push_back(area);
  }
}

Rect GadgetBox(const ControlInfo& gadget) { return Box(gadget.x, gadget.y, gadget.w, gadget.h); }

}  // namespace

Rect StatusLineRect(const Screen& screen) {
  return Rect{0, 0, screen.width, std::min(kStatusLineHeight, screen.height)};
}

Rect ClientRect(const Screen& screen) {
  return Rect{0, kStatusLineHeight, screen.width, screen.height};
}

Rect ControlRect(const Screen& screen, const ControlInfo& control) {
  return ControlBox(control).Intersect(ClientRect(screen));
}

Rect GadgetRect(const Screen& screen, const ControlInfo& gadget) {
  return GadgetBox(gadget).Intersect(StatusLineRect(screen));
}

void RenderArea(const Screen& screen, int focusedControl, const Rect& area, Image* image) {
  Painter p(image, area);
  if (p.Empty()) return;
  p.Fill(image->Bounds(), screen.scheme.screenBg);
  if (screen.hasStatusLine) DrawStatusLine(p, screen);
  if (screen.hasForm) DrawForm(p, screen, focusedControl);
}

void RenderScreen(const Screen& screen, int focusedControl, Image* image) {
  if (image->width != screen.width || image->height != screen.height) {
    *image = Image(screen.width, screen.height);
  }
  RenderArea(screen, focusedControl, image->Bounds(), image);
}

std::vector<Rect> ChangedAreas(const Screen& before, int focusBefore, const Screen& after,
                               int focusAfter) {
  const Rect whole{0, 0, after.width, after.height};
  if (before.width != after.width || before.height != after.height ||
      before.scheme.screenBg != after.scheme.screenBg) {
    return {whole};
  }
  std::vector<Rect> areas;
  const Rect line = StatusLineRect(after);
  if (before.hasStatusLine != after.hasStatusLine ||
      (after.hasStatusLine && before.statusLine.second != after.statusLine.second)) {
    areas.push_back(line);
  } else if (after.hasStatusLine) {
    CompareControls(before.statusLine.controls, after.statusLine.controls, line, GadgetBox, &areas);
  }

  const Rect client = ClientRect(after);
  const FormInfo& a = before.form;
  const FormInfo& b = after.form;
  if (before.hasForm != after.hasForm ||
      (after.hasForm && (before.formSerial != after.formSerial || a.title != b.title ||
                         a.flags != b.flags || a.first != b.first || a.second != b.second))) {
    areas.push_back(client);
  } else if (after.hasForm) {
    CompareControls(a.controls, b.controls, client, ControlBox, &areas);
    if (focusBefore != focusAfter) {
      for (const auto& [form, focus] : {std::pair<const FormInfo*, int>{&a, focusBefore},
                                        std::pair<const FormInfo*, int>{&b, focusAfter}}) {
        if (focus >= 0 && static_cast<size_t>(focus) < form->controls.size()) {
          areas.push_back(ControlRect(after, form->controls[static_cast<size_t>(focus)]));
        }
      }
    }
  }
  return areas;
}

}  // namespace termsim
