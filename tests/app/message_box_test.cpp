// Message boxes: buttons, looks and results for each kind.
#include "app/message_box.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/ui_fixture.h"

namespace {

class MessageBoxTest : public test::UiFixture {
 protected:
  // Shows a box, records what was on screen while it waited, then presses key. The box
  // leaves nothing behind: an upload shows one each time, and the program runs for days.
  int ShowAndPress(uint16_t flags, int key) {
    keys_.Inspect([this] { shown_ = termsim::ScreenForm(); });
    keys_.Press(key);
    const size_t before = termsim::LiveWidgets();
    int result = ShowMessageBox(ui_, termsim::Utf8ToCp1251("ЗАГОЛОВОК").c_str(),
                                termsim::Utf8ToCp1251("ТЕКСТ").c_str(), flags);
    EXPECT_EQ(termsim::LiveWidgets(), before) << "the box's form or controls were left";
    return result;
  }
  std::vector<termsim::ControlInfo> Buttons() const {
    std::vector<termsim::ControlInfo> buttons;
    for (const termsim::ControlInfo& c : shown_.controls) {
      if (c.kind == termsim::ControlKind::kButton) buttons.push_back(c);
    }
    return buttons;
  }

  termsim::FormInfo shown_;
};

TEST_F(MessageBoxTest, OkBoxHasOneCentredOkButton) {
  EXPECT_EQ(ShowAndPress(MB_OK, 13), 1);
  EXPECT_EQ(Utf8(shown_.title), "ЗАГОЛОВОК");
  ASSERT_EQ(Buttons().size(), 1u);
  const termsim::ControlInfo ok = Buttons()[0];
  EXPECT_EQ(ok.text, "OK");
  EXPECT_EQ(ok.code, 13);
  EXPECT_EQ(ok.x, 80);
  EXPECT_EQ(ok.y, 150);
  EXPECT_EQ(ok.w, 160);
  EXPECT_EQ(ok.h, 30);
  EXPECT_EQ(shown_.flags & 32u, 0u);
}

TEST_F(MessageBoxTest, TextBlockFillsTheClientArea) {
  ShowAndPress(MB_OK, 13);
  const termsim::ControlInfo& text = shown_.controls.at(0);
  EXPECT_EQ(text.kind, termsim::ControlKind::kMultiLine);
  EXPECT_EQ(Utf8(text.text), "ТЕКСТ");
  EXPECT_EQ(text.x, 2);
  EXPECT_EQ(text.y, 2);
  EXPECT_EQ(text.w, 314);
  EXPECT_EQ(text.h, 125);
  EXPECT_EQ(text.style, 1);
}

TEST_F(MessageBoxTest, PlainTextFlagSetsStyleZero) {
  ShowAndPress(MB_OK | MB_PLAINTEXT, 13);
  EXPECT_EQ(shown_.controls.at(0).style, 0);
  EXPECT_EQ(Buttons().size(), 1u);
}

TEST_F(MessageBoxTest, ErrorBoxHasOneOkButtonInTheErrorLook) {
  uint16_t first = termsim::DescribeForm(new igForm("x", nullptr)).first;
  EXPECT_EQ(ShowAndPress(MB_ERROR | MB_OK, 13), 1);
  EXPECT_EQ(shown_.flags & 40u, 40u);  // framed, and the error look
  EXPECT_EQ(shown_.second, 0x8000);
  EXPECT_EQ(shown_.first, first);
  ASSERT_EQ(Buttons().size(), 1u);
  EXPECT_EQ(Buttons()[0].text, "OK");
}

TEST_F(MessageBoxTest, EscapeOnAnOkBoxCountsAsCancel) {
  EXPECT_EQ(ShowAndPress(MB_OK, 27), 2);
}

TEST_F(MessageBoxTest, NoWaitBoxIsDrawnWithoutButtonsAndReturnsAtOnce) {
  const size_t before = termsim::LiveWidgets();
  EXPECT_EQ(ShowMessageBox(ui_, termsim::Utf8ToCp1251("ПОДОЖДИТЕ").c_str(),
                           termsim::Utf8ToCp1251("ЗАВЕРШЕНИЕ ВЫГРУЗКИ").c_str(), MB_NOWAIT),
            1);
  termsim::FormInfo shown = termsim::ScreenForm();
  EXPECT_EQ(Utf8(shown.title), "ПОДОЖДИТЕ");
  ASSERT_EQ(shown.controls.size(), 1u);
  EXPECT_EQ(Utf8(shown.controls[0].text), "ЗАВЕРШЕНИЕ ВЫГРУЗКИ");
  EXPECT_NE(termsim::ScreenText().find("ЗАВЕРШЕНИЕ ВЫГРУЗКИ"), std::string::npos);
  EXPECT_EQ(termsim::LiveWidgets(), before) << "the box stays drawn, but not made";
}

TEST_F(MessageBoxTest, OkCancelBoxAddsOkBeforeCancel) {
  ShowAndPress(MB_OKCANCEL, 13);
  ASSERT_EQ(Buttons().size(), 2u);
  const termsim::ControlInfo ok = Buttons()[0];
  const termsim::ControlInfo cancel = Buttons()[1];
  EXPECT_EQ(Utf8(ok.text), "ОК");
  EXPECT_EQ(ok.code, 13);
  EXPECT_EQ(ok.x, 180);
  EXPECT_EQ(ok.w, 120);
  EXPECT_EQ(cancel.text, "O" + termsim::Utf8ToCp1251("ТМЕНА"));  // a Latin O first
  EXPECT_EQ(cancel.code, 27);
  EXPECT_EQ(cancel.x, 20);
  EXPECT_EQ(cancel.w, 120);
  EXPECT_EQ(cancel.y, 150);
}

TEST_F(MessageBoxTest, OkCancelBoxReturnsTwoForCancelAndOneForOk) {
  EXPECT_EQ(ShowAndPress(MB_OKCANCEL, 27), 2);
  EXPECT_EQ(ShowAndPress(MB_OKCANCEL, 13), 1);
}

}  // namespace
