// The screen as text: what the script display prints and tests read.
#include "tests/host_toolkit/toolkit_fixture.h"

namespace {

using termsim::Utf8ToCp1251;

class ScreenTextFormat : public ToolkitTest {
 protected:
  igStatic* Named(igForm* form, const char* name, short x, short y, unsigned short w,
                  unsigned short h, const std::string& text) {
    igStatic* control = new igStatic(x, y, w, h, text.c_str(), nullptr);
    control->SetName(name);
    form->AddChild(control);
    return control;
  }
};

TEST_F(ScreenTextFormat, MainScreenListsTitleThenControlsByRowAndColumn) {
  igForm* form = NewForm("KELDRAN Oct 14 2017");
  // Added in the main screen's order: the mode line comes last but is drawn on top.
  Named(form, "Max", 2, 10, 316, 28, "4200000");
  Named(form, "Now", 2, 40, 316, 28, "3950000");
  Named(form, "Min", 2, 70, 316, 28, "3400000");
  Named(form, "Cur", 2, 100, 105, 28, "94%");
  Named(form, "Jit", 107, 100, 105, 28, "93%");
  Named(form, "Prc", 212, 100, 105, 28, "92%");
  form->AddChild(new igButton(2, 130, 158, 35, "UPLOAD", nullptr, 8));
  Named(form, "Size", 160, 130, 158, 35, "0");
  Named(form, "Mode", 2, 0, 316, 10, Utf8ToCp1251("РЕЖИМ: БАТАРЕЯ"));
  ui_->View(form);
  EXPECT_EQ(termsim::ScreenText(),
            "KELDRAN Oct 14 2017\n"
            "РЕЖИМ: БАТАРЕЯ\n"
            "4200000\n"
            "3950000\n"
            "3400000\n"
            "94%\n"
            "93%\n"
            "92%\n"
            "[UPLOAD]\n"
            "0\n"
            "status:  | \n");
}

TEST_F(ScreenTextFormat, MultiLineTextsSplitAtEveryKindOfLineBreak) {
  igForm* form = NewForm(Utf8ToCp1251("USB СОЕДИНЕНИЕ").c_str());
  form->AddChild(new igMultiLine(
      2, 2, 314, 125, 1, Utf8ToCp1251("ПОДОЖДИТЕ\nИДЕТ ВЫГРУЗКА\r\nНЕ ВЫНИМАЙТЕ USB-КАБЕЛЬ!").c_str()));
  form->AddChild(new igButton(80, 150, 160, 30, Utf8ToCp1251("ОТМЕНА").c_str(), nullptr, 27));
  ui_->View(form);
  EXPECT_EQ(termsim::ScreenText(),
            "USB СОЕДИНЕНИЕ\n"
            "ПОДОЖДИТЕ\n"
            "ИДЕТ ВЫГРУЗКА\n"
            "НЕ ВЫНИМАЙТЕ USB-КАБЕЛЬ!\n"
            "[ОТМЕНА]\n"
            "status:  | \n");
}

TEST_F(ScreenTextFormat, EmptyTextsGiveEmptyLinesAndTrailingBreaksAnEmptyPiece) {
  igForm* form = NewForm("T");
  Named(form, "A", 0, 0, 100, 10, "");
  Named(form, "B", 0, 10, 100, 10, "x\n");
  form->AddChild(new igButton(0, 20, 100, 10, "", nullptr, 1));
  ui_->View(form);
  EXPECT_EQ(termsim::ScreenText(), "T\n\nx\n\n[]\nstatus:  | \n");
}

TEST_F(ScreenTextFormat, ControlsAtTheSamePlaceKeepTheirAddingOrder) {
  igForm* form = NewForm("T");
  Named(form, "A", 5, 5, 10, 10, "first");
  Named(form, "B", 5, 5, 10, 10, "second");
  Named(form, "C", 0, 5, 10, 10, "left");
  ui_->View(form);
  EXPECT_EQ(termsim::ScreenText(), "T\nleft\nfirst\nsecond\nstatus:  | \n");
}

}  // namespace
