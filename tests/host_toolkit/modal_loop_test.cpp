// The modal loop: how callbacks, keys and buttons end a modal wait and set its result.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/common/end_actions.h"
#include "host/toolkit/core/toolkit.h"

#include "tests/host_toolkit/toolkit_fixture.h"

namespace {

class ModalLoop : public ToolkitTest {
 protected:
  // Shows a form with the recording callback and runs its loop; returns its result.
  int RunWithCallback() {
    form_ = NewForm("MAIN");
    ui_->Show(form_, RecordEvent);
    ui_->WaitEndModal();
    return form_->GetResult();
  }

  igForm* form_ = nullptr;
};

TEST_F(ModalLoop, CallbackResultOneEndsTheWaitWithResultOne) {
  Log().answer = [](int, int call) { return call == 3 ? 1 : 0; };
  EXPECT_EQ(RunWithCallback(), 1);
  EXPECT_EQ(Log().codes.size(), 3u);
}

TEST_F(ModalLoop, CallbackResultHundredEndsTheWaitWithResultHundred) {
  Log().answer = [](int, int call) { return call == 4 ? 100 : 2; };
  EXPECT_EQ(RunWithCallback(), 100);
  EXPECT_EQ(Log().codes.size(), 4u);
}

TEST_F(ModalLoop, CallbackResultsOtherThanOneAndHundredKeepTheFormUp) {
  Log().answer = [](int, int call) {
    if (call <= 5) return 0;
    if (call <= 10) return 2;
    return call == 11 ? 3 : call == 12 ? -1 : 100;
  };
  EXPECT_EQ(RunWithCallback(), 100);
  EXPECT_EQ(Log().codes.size(), 13u);
}

TEST_F(ModalLoop, IdleEventsReachTheCallbackRepeatedlyWhileNoInputArrives) {
  Log().answer = [](int, int call) { return call == 50 ? 1 : 2; };
  RunWithCallback();
  ASSERT_EQ(Log().codes.size(), 50u);
  EXPECT_TRUE(std::all_of(Log().codes.begin(), Log().codes.end(), [](int c) { return c == 0; }));
}

TEST_F(ModalLoop, CallbackReceivesEveryKeyAndTheShownForm) {
  keys_ = {8, 65, -1, 200};
  Log().answer = [](int, int call) { return call == 4 ? 1 : 2; };
  RunWithCallback();
  EXPECT_EQ(Log().codes, (std::vector<int>{8, 65, 0, 200}));
  for (intptr_t form : Log().forms) EXPECT_EQ(form, reinterpret_cast<intptr_t>(form_));
}

TEST_F(ModalLoop, EscEndsTheWaitWithMinusOneWhateverTheCallbackAnswered) {
  for (int answer : {0, 1, 2, 100}) {
    Log() = CallbackLog();
    keys_ = {-1, 27, -1};
    Log().answer = [answer](int code, int) { return code == 27 ? answer : 2; };
    EXPECT_EQ(RunWithCallback(), -1) << "callback answered " << answer;
    EXPECT_EQ(Log().codes, (std::vector<int>{0, 27})) << "the callback sees Esc first";
    keys_.clear();
  }
}

TEST_F(ModalLoop, EnterEndsTheWaitWithOneWhateverTheCallbackAnswered) {
  for (int answer : {0, 2, 100}) {
    Log() = CallbackLog();
    keys_ = {13};
    Log().answer = [answer](int code, int) { return code == 13 ? answer : 2; };
    EXPECT_EQ(RunWithCallback(), 1) << "callback answered " << answer;
    EXPECT_EQ(Log().codes, (std::vector<int>{13}));
  }
}

TEST_F(ModalLoop, ButtonCodeTurnedIntoHundredByTheCallbackEndsWithHundred) {
  keys_ = {-1, -1, 8};
  Log().answer = [](int code, int) { return code == 8 ? 100 : 2; };
  EXPECT_EQ(RunWithCallback(), 100);
  EXPECT_EQ(Log().codes.back(), 8);
}

TEST_F(ModalLoop, ResultStartsAfreshWhenTheSameFormIsShownAgain) {
  keys_ = {27};
  EXPECT_EQ(RunWithCallback(), -1);
  Log().answer = [](int, int) { return 2; };
  ui_->Show(form_, RecordEvent);
  EXPECT_EQ(form_->GetResult(), 0);
  Log().answer = [](int, int call) { return call >= 3 ? 100 : 2; };
  ui_->WaitEndModal();
  EXPECT_EQ(form_->GetResult(), 100);
}

TEST_F(ModalLoop, ShowWithoutCallbackEndsWithOneOnEnterAndIgnoresOtherCodes) {
  igForm* box = NewForm("BOX");
  keys_ = {-1, 8, 65, -1, 13};
  ui_->Show(box);
  ui_->WaitEndModal();
  EXPECT_EQ(box->GetResult(), 1);
  EXPECT_TRUE(keys_.empty()) << "the box ended before Enter";
}

TEST_F(ModalLoop, ShowWithoutCallbackEndsWithMinusOneOnEsc) {
  igForm* box = NewForm("BOX");
  keys_ = {-1, 8, 27, 13};
  ui_->Show(box);
  ui_->WaitEndModal();
  EXPECT_EQ(box->GetResult(), -1);
  EXPECT_EQ(keys_.size(), 1u) << "the box ended at Esc";
}

TEST_F(ModalLoop, ViewDrawsAndReturnsWithoutWaitingForInput) {
  igForm* notice = NewForm("NOTICE");
  ui_->View(notice);
  EXPECT_EQ(waits_, 0);
  EXPECT_EQ(termsim::ScreenForm().title, "NOTICE");
}

TEST_F(ModalLoop, ViewedFormStaysOnScreenAfterDelUntilAnotherIsDrawn) {
  igForm* notice = NewForm("NOTICE");
  notice->AddChild(new igMultiLine(2, 2, 314, 125, 1, "busy"));
  ui_->View(notice);
  ui_->Del(notice);
  EXPECT_EQ(termsim::ScreenForm().title, "NOTICE");
  EXPECT_NE(termsim::ScreenText().find("NOTICE\nbusy\n"), std::string::npos);

  igForm* next = NewForm("NEXT");
  ui_->View(next);
  EXPECT_EQ(termsim::ScreenForm().title, "NEXT");
}

TEST_F(ModalLoop, FormStaysOnScreenAfterItsWaitEnds) {
  keys_ = {27};
  RunWithCallback();
  EXPECT_EQ(termsim::ScreenForm().title, "MAIN");
  EXPECT_EQ(termsim::ScreenForm().result, -1);
}

TEST_F(ModalLoop, TextsSetByTheCallbackAreOnScreenAfterTheEvent) {
  form_ = NewForm("MAIN");
  igStatic* value = new igStatic(2, 10, 316, 28, "", nullptr);
  value->SetName("Now");
  form_->AddChild(value);
  Log().answer = [](int, int call) {
    // The form as the callback receives it: look the control up as the program does.
    igForm* form = reinterpret_cast<igForm*>(Log().forms.back());
    form->FindChild("Now")->SetText(call == 1 ? "first" : "second");
    return 2;
  };
  onWait_ = [](int wait) {
    if (wait == 2) {
      EXPECT_NE(termsim::ScreenText().find("\nfirst\n"), std::string::npos);
    }
  };
  keys_ = {-1, -1, 27};
  ui_->Show(form_, RecordEvent);
  ui_->WaitEndModal();
  EXPECT_NE(termsim::ScreenText().find("\nsecond\n"), std::string::npos) << termsim::ScreenText();
}

// A callback that shows a box of its own: the inner loop ends with its own result and
// the outer form comes back on screen and keeps its loop.
igUI* gUi = nullptr;
int gInnerResult = 0;

int OpenBoxOnKey(igEvent* event, intptr_t) {
  if (event->code != 'b') return event->code == 'q' ? 1 : 2;
  igForm* box = new igForm("INNER", nullptr);
  gUi->Add(box);
  gUi->Show(box);
  gUi->WaitEndModal();
  gInnerResult = box->GetResult();
  gUi->Del(box);
  return 2;
}

TEST_F(ModalLoop, NestedBoxEndsOnItsOwnAndTheOuterFormReturns) {
  gUi = ui_;
  form_ = NewForm("OUTER");
  keys_ = {'b', 27, -1, 'q'};
  onWait_ = [](int wait) {
    if (wait == 2) {
      EXPECT_EQ(termsim::ScreenForm().title, "INNER");
    } else if (wait == 3) {
      EXPECT_EQ(termsim::ScreenForm().title, "OUTER");
    }
  };
  ui_->Show(form_, OpenBoxOnKey);
  ui_->WaitEndModal();
  EXPECT_EQ(gInnerResult, -1);
  EXPECT_EQ(form_->GetResult(), 1);
  EXPECT_TRUE(keys_.empty());
}

int gQuitsDone = 0;

// A quit cancels the forms above the program's first form as Esc would, and ends the
// program, with status 0 and its end actions run, once the first form waits again. The
// call that ends it is there before the quit comes, as the host shell sets it, and is
// not made while a box is above the first form: what the box started must end first.
TEST_F(ModalLoop, QuitCancelsTheFormsAboveTheFirstThenEndsTheProgram) {
  igForm* first = NewForm("MAIN");
  igForm* box = NewForm("BOX");
  gQuitsDone = 0;
  termsim::Toolkit::Get().SetQuitDone([] { ++gQuitsDone; });
  onWait_ = [](int wait) {
    if (wait == 3) termsim::PostQuit();
  };
  ui_->Show(box, RecordEvent);
  ui_->WaitEndModal();
  EXPECT_EQ(gQuitsDone, 0) << "the quit was done while the box was above the first form";
  EXPECT_EQ(box->GetResult(), -1);
  EXPECT_EQ(Log().codes, (std::vector<int>{0, 0, 0, 27})) << "no further wait for input";
  EXPECT_EQ(waits_, 3);
  ui_->Del(box);
  EXPECT_EXIT(
      {
        termsim::Toolkit::Get().SetQuitDone([] { termsim::EndProgram(0); });
        termsim::AddEndAction([] { std::fputs("end action ran\n", stderr); });
        ui_->Show(first, RecordEvent);
        ui_->WaitEndModal();
      },
      ::testing::ExitedWithCode(0), "end action ran");
}

}  // namespace
