// The toolkit's public classes, each a thin front of the toolkit core.
#include "platform/ui_toolkit.h"

#include <string>

#include "host/toolkit/core/toolkit.h"

using termsim::kStatusLineHeight;
using termsim::Toolkit;

namespace {

igWidget* NewWidget(WidgetKind kind) { return Toolkit::Get().NewWidget(kind); }

void Place(igWidget* widget, short x, short y, unsigned short w, unsigned short h) {
  widget->x = x;
  widget->y = y;
  widget->w = w;
  widget->h = h;
}

std::string Copy(const char* text) { return text != nullptr ? std::string(text) : std::string(); }

}  // namespace

// --- igColor

void igColor::SetColor(_IG_TypeObject type, unsigned short first, unsigned short second) {
  termsim::Scheme& scheme = Toolkit::Get().scheme();
  switch (type) {
    case IG_OBJ_SCREEN:
      scheme.screenFg = first;
      scheme.screenBg = second;
      break;
    case IG_OBJ_FORM:
      scheme.formFg = first;
      scheme.formBg = second;
      scheme.formSet = true;
      break;
    case IG_OBJ_BUTTON:
      scheme.buttonFg = first;
      scheme.buttonBg = second;
      break;
    case IG_OBJ_STATIC:
      scheme.staticFg = first;
      scheme.staticBg = second;
      scheme.staticSet = true;
      break;
  }
}

// --- Containers

void igContainer::AddChild(igControl* control) {
  if (control != nullptr) Toolkit::Get().AddChild(Widget(), control->Widget());
}

namespace {

igTextControl* FindText(const igWidget* parent, const std::string& name) {
  for (const igWidget* child : parent->children) {
    if ((child->kind == WidgetKind::kStatic || child->kind == WidgetKind::kMultiLine) &&
        child->name == name) {
      return static_cast<igTextControl*>(child->control);
    }
  }
  return nullptr;
}

}  // namespace

igTextControl* igContainer::FindChild(const char* name) {
  if (name == nullptr) return nullptr;
  return FindText(Widget(), name);
}

int igContainer::GetResult() { return Widget()->result; }

void igContainer::SetFlag(unsigned short value) { Widget()->flags |= value; }

void igContainer::SetOption(unsigned short value) { Widget()->option = value; }

void igContainer::SetColors(unsigned short first, unsigned short second) {
  igWidget* widget = Widget();
  widget->first = first;
  widget->second = second;
  widget->coloursSet = true;
}

unsigned short igContainer::GetFirstColor() { return Toolkit::Get().FormFirst(Widget()); }

void igContainer::Prepare() {
  // Controls keep the geometry they were given; nothing to compute before drawing.
  Widget()->prepared = true;
}

igForm::igForm(const char* title, igImage* /*image*/)
    : igContainer(NewWidget(WidgetKind::kForm)) {
  Widget()->container = this;
  Widget()->text = Copy(title);
}

igStatusLine::igStatusLine(unsigned short height, unsigned short mode)
    : igContainer(NewWidget(WidgetKind::kStatusLine)) {
  Widget()->container = this;
  Place(Widget(), 0, 0, static_cast<unsigned short>(Toolkit::Get().width()), height);
  Widget()->format = mode;
}

// --- Text controls

void igTextControl::SetName(const char* name) { Widget()->name = Copy(name); }

void igTextControl::SetStyle(unsigned short value) { Widget()->style = value; }

void igTextControl::SetText(const char* text) { Widget()->text = Copy(text); }

igStatic::igStatic(short x, short y, unsigned short w, unsigned short h, const char* text,
                   igImage* /*image*/)
    : igTextControl(NewWidget(WidgetKind::kStatic)) {
  Widget()->control = this;
  Place(Widget(), x, y, w, h);
  Widget()->text = Copy(text);
}

igMultiLine::igMultiLine(short x, short y, unsigned short w, unsigned short h,
                         unsigned short style, const char* text)
    : igTextControl(NewWidget(WidgetKind::kMultiLine)) {
  Widget()->control = this;
  Place(Widget(), x, y, w, h);
  Widget()->style = style;
  Widget()->text = Copy(text);
}

igButton::igButton(short x, short y, unsigned short w, unsigned short h, const char* text,
                   igImage* /*image*/, unsigned char code)
    : igControl(NewWidget(WidgetKind::kButton)) {
  Widget()->control = this;
  Place(Widget(), x, y, w, h);
  Widget()->text = Copy(text);
  Widget()->code = code;
}

// --- Gadgets

void igGadget::SetColors(unsigned short first, unsigned short second) {
  Widget()->first = first;
  Widget()->second = second;
}

unsigned short igGadget::GetSecondColor() { return Widget()->second; }

void igGadget::SetLevelColors(unsigned short a, unsigned short b, unsigned short c) {
  Widget()->levelHigh = a;
  Widget()->levelLow = b;
  Widget()->levelOutline = c;
}

void igGadget::SetTextColor(unsigned short colour) { Widget()->textColour = colour; }

void igGadget::SetLevelText(const char* text) {
  Widget()->hasLevelText = text != nullptr;
  Widget()->levelText = Copy(text);
}

igClock::igClock(short x, short y, unsigned short w, unsigned short h, unsigned short format)
    : igGadget(NewWidget(WidgetKind::kClock)) {
  Widget()->control = this;
  Place(Widget(), x, y, w, h);
  Widget()->format = format;
}

igBatLevel::igBatLevel(short x, short y, unsigned short w, unsigned short h,
                       igLevelCallback callback)
    : igGadget(NewWidget(WidgetKind::kBatLevel)) {
  // The callback is only stored: the owner keeps the pointer after this returns, so
  // the first call comes with the first drawing of the status line.
  Widget()->control = this;
  Place(Widget(), x, y, w, h);
  Widget()->levelCallback = callback;
}

// --- igUI

igUI* igUI::Init(unsigned short /*mode*/) {
  Toolkit& toolkit = Toolkit::Get();
  if (toolkit.ui() == nullptr) toolkit.AdoptUi(new igUI());
  toolkit.display();
  return toolkit.ui();
}

int igUI::GetWidth() { return Toolkit::Get().width(); }

int igUI::GetClientWidth() { return Toolkit::Get().width(); }

int igUI::GetClientHeight() { return Toolkit::Get().height() - kStatusLineHeight; }

void igUI::SetStatusLine(igStatusLine* line) {
  Toolkit::Get().SetStatusLine(line != nullptr ? line->Widget() : nullptr);
}

void igUI::Add(igForm* form) {
  if (form != nullptr) Toolkit::Get().Add(form->Widget());
}

void igUI::Del(igForm* form) {
  if (form != nullptr) Toolkit::Get().Del(form->Widget());
}

void igUI::Show(igForm* form) { Show(form, nullptr); }

void igUI::Show(igForm* form, igFormCallback callback) {
  if (form != nullptr) Toolkit::Get().Show(form->Widget(), callback);
}

void igUI::View(igForm* form) {
  if (form != nullptr) Toolkit::Get().View(form->Widget());
}

void igUI::WaitEndModal() { Toolkit::Get().WaitEndModal(); }
