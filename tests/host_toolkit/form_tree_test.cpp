// Forms and their controls as the toolkit keeps them: names, copied texts, geometry,
// flags and colours, and ownership.
#include <stdlib.h>

#include <cstring>
#include <string>

#include "host/program/settings.h"
#include "host/program/shell.h"
#include "host/toolkit/core/toolkit.h"
#include "tests/host_toolkit/toolkit_fixture.h"

namespace {

using FormTree = ToolkitTest;

TEST_F(FormTree, InitReturnsTheSameObjectEveryTime) {
  EXPECT_NE(ui_, nullptr);
  EXPECT_EQ(igUI::Init(0), ui_);
}

TEST_F(FormTree, FindChildReturnsTheTextControlOfThatName) {
  igForm* form = NewForm("F");
  igStatic* max = new igStatic(2, 10, 316, 28, "", nullptr);
  max->SetName("Max");
  igMultiLine* text = new igMultiLine(2, 40, 316, 60, 1, "");
  text->SetName("Text");
  igButton* button = new igButton(2, 130, 158, 35, "UPLOAD", nullptr, 8);
  form->AddChild(max);
  form->AddChild(button);
  form->AddChild(text);
  EXPECT_EQ(form->FindChild("Max"), max);
  EXPECT_EQ(form->FindChild("Text"), text);
  EXPECT_EQ(form->FindChild("Min"), nullptr);
  EXPECT_EQ(form->FindChild(""), nullptr) << "unnamed controls are not found";
  EXPECT_EQ(form->FindChild(nullptr), nullptr);
}

TEST_F(FormTree, FindChildLooksOnlyAtTheFormsOwnControls) {
  igForm* first = NewForm("A");
  igForm* second = NewForm("B");
  igStatic* now = new igStatic(2, 40, 316, 28, "", nullptr);
  now->SetName("Now");
  first->AddChild(now);
  EXPECT_EQ(second->FindChild("Now"), nullptr);
}

TEST_F(FormTree, TextsAreCopied) {
  char buffer[32];
  std::strcpy(buffer, "4200");
  igForm* form = NewForm("F");
  igStatic* value = new igStatic(2, 10, 316, 28, buffer, nullptr);
  form->AddChild(value);
  std::strcpy(buffer, "XXXX");
  EXPECT_EQ(termsim::DescribeForm(form).controls[0].text, "4200");
  std::strcpy(buffer, "3950");
  value->SetText(buffer);
  std::strcpy(buffer, "0000");
  EXPECT_EQ(termsim::DescribeForm(form).controls[0].text, "3950");
}

TEST_F(FormTree, TitleIsCopied) {
  char title[16];
  std::strcpy(title, "KELDRAN");
  igForm* form = NewForm(title);
  std::strcpy(title, "other");
  EXPECT_EQ(termsim::DescribeForm(form).title, "KELDRAN");
}

TEST_F(FormTree, DescriptionKeepsAddingOrderGeometryStyleAndCode) {
  igForm* form = NewForm("F");
  igStatic* size = new igStatic(162, 130, 158, 35, "", nullptr);
  size->SetStyle(4);
  igButton* upload = new igButton(2, 130, 158, 35, "UPLOAD", nullptr, 8);
  igMultiLine* text = new igMultiLine(2, 2, 314, 125, 1, "a\nb");
  form->AddChild(upload);
  form->AddChild(size);
  form->AddChild(text);
  const termsim::FormInfo info = termsim::DescribeForm(form);
  ASSERT_EQ(info.controls.size(), 3u);
  EXPECT_EQ(info.controls[0].kind, termsim::ControlKind::kButton);
  EXPECT_EQ(info.controls[0].code, 8);
  EXPECT_EQ(info.controls[0].text, "UPLOAD");
  EXPECT_EQ(info.controls[1].kind, termsim::ControlKind::kStatic);
  EXPECT_EQ(info.controls[1].style, 4);
  EXPECT_EQ(info.controls[1].x, 162);
  EXPECT_EQ(info.controls[1].y, 130);
  EXPECT_EQ(info.controls[1].w, 158);
  EXPECT_EQ(info.controls[1].h, 35);
  EXPECT_EQ(info.controls[2].kind, termsim::ControlKind::kMultiLine);
  EXPECT_EQ(info.controls[2].style, 1);
}

TEST_F(FormTree, FlagsAccumulateAndTheLastOptionCounts) {
  igForm* form = NewForm("F");
  form->SetFlag(8);
  form->SetFlag(32);
  form->SetOption(6);
  form->SetOption(2);
  const termsim::FormInfo info = termsim::DescribeForm(form);
  EXPECT_EQ(info.flags, 40u);
  EXPECT_EQ(info.option, 2u);
}

TEST_F(FormTree, FormColoursFollowTheSchemeUntilSet) {
  igColor::SetColor(IG_OBJ_SCREEN, 0x0000, 0x001F);
  igForm* form = NewForm("F");
  EXPECT_EQ(form->GetFirstColor(), 0x0000);
  EXPECT_EQ(termsim::DescribeForm(form).second, 0x001F);
  form->SetColors(form->GetFirstColor(), 0x8000);  // the message box's error look
  EXPECT_EQ(form->GetFirstColor(), 0x0000);
  EXPECT_EQ(termsim::DescribeForm(form).second, 0x8000);
  igColor::SetColor(IG_OBJ_SCREEN, 0xFFFF, 0x0000);
  EXPECT_EQ(form->GetFirstColor(), 0x0000) << "colours once set stay";
}

TEST_F(FormTree, ControlAddedAgainMovesToTheNewForm) {
  igForm* first = NewForm("A");
  igForm* second = NewForm("B");
  igStatic* value = new igStatic(0, 0, 10, 10, "v", nullptr);
  first->AddChild(value);
  second->AddChild(value);
  EXPECT_TRUE(termsim::DescribeForm(first).controls.empty());
  EXPECT_EQ(termsim::DescribeForm(second).controls.size(), 1u);
}

// Under AddressSanitizer these also prove that Del and the toolkit's release at the
// end free every form and control exactly once.
TEST_F(FormTree, DelReleasesTheFormAndItsControls) {
  for (int round = 0; round < 20; ++round) {
    igForm* form = NewForm("BOX");
    form->AddChild(new igMultiLine(2, 2, 314, 125, 1, "text"));
    form->AddChild(new igButton(80, 150, 160, 30, "OK", nullptr, 13));
    form->Prepare();
    ui_->View(form);
    ui_->Del(form);
  }
  EXPECT_EQ(termsim::ScreenForm().title, "BOX");
}

TEST_F(FormTree, ObjectsNeverDeletedAreReleasedByTheToolkit) {
  igForm* form = NewForm("KEPT");
  form->AddChild(new igStatic(0, 0, 10, 10, "x", nullptr));
  new igStatic(0, 0, 10, 10, "never added", nullptr);
  new igForm("never added", nullptr);
  igStatusLine* line = new igStatusLine(20, 1);
  line->AddChild(new igClock(0, 0, 240, 20, 3));
  ui_->SetStatusLine(line);
  termsim::ResetToolkit();
  termsim::UseTestDisplay([] { return 27; });
  ui_ = igUI::Init(0);
  EXPECT_EQ(termsim::ScreenForm().title, "") << "a fresh toolkit shows nothing";
  EXPECT_EQ(termsim::StatusLine().controls.size(), 0u);
}

// The screen's size is a setting of the host: every size the toolkit reports follows it.
TEST_F(FormTree, ScreenSizeComesFromTermsimScreen) {
  termsim::ResetToolkit();
  setenv("TERMSIM_SCREEN", "480x272", 1);
  termsim::SetScreenSizeFromSetting();
  ui_ = igUI::Init(0);
  unsetenv("TERMSIM_SCREEN");
  EXPECT_EQ(igUI::GetWidth(), 480);
  EXPECT_EQ(igUI::GetClientWidth(), 480);
  EXPECT_EQ(igUI::GetClientHeight(), 252);
  EXPECT_EQ((new igStatusLine(20, 1))->Widget()->w, 480) << "the status line spans the screen";
  termsim::ResetToolkit();
  ui_ = igUI::Init(0);
  EXPECT_EQ(igUI::GetWidth(), 320) << "a fresh toolkit without the setting";
}

TEST(ScreenSize, MalformedOrAbsurdSizesAreRefused) {
  int w = 0, h = 0;
  EXPECT_EQ(termsim::ParseScreenSize("480x272", &w, &h), "");
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 272);
  for (const char* edge : {"240x200", "1920x1080"}) {  // the smallest and the largest taken
    EXPECT_EQ(termsim::ParseScreenSize(edge, &w, &h), "") << edge;
  }
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  for (const char* bad : {"", "480", "480x", "x272", "480x272px", " 480x272", "-480x272",
                          "480*272", "480x+272", "4800000x272"}) {
    EXPECT_NE(termsim::ParseScreenSize(bad, &w, &h).find("WIDTHxHEIGHT"), std::string::npos) << bad;
  }
  for (const char* absurd : {"100x100", "5000x272", "480x90", "0x0"}) {
    EXPECT_NE(termsim::ParseScreenSize(absurd, &w, &h).find("need from 240x200"), std::string::npos)
        << absurd;
  }
  EXPECT_EQ(w, 1920) << "a refused size leaves the result alone";
  EXPECT_EXIT(
      {
        termsim::ResetToolkit();
        setenv("TERMSIM_SCREEN", "5000x5", 1);
        termsim::SetScreenSizeFromSetting();
      },
      ::testing::ExitedWithCode(2), "TERMSIM_SCREEN=5000x5: the screens need");
}

}  // namespace
