#include "host/toolkit/toolkit_test.h"

#include "host/toolkit/displays/test_display.h"
#include "host/toolkit/toolkit.h"

namespace termsim {

void UseTestDisplay(std::function<int()> nextKey) {
  Toolkit::Get().UseDisplay(std::make_unique<TestDisplay>(std::move(nextKey)));
}

std::string ScreenText() { return ScreenTextOf(Toolkit::Get().screen()); }

FormInfo DescribeForm(const igForm* form) {
  return form != nullptr ? Toolkit::Get().Describe(form->Widget()) : FormInfo();
}

FormInfo ScreenForm() {
  const Screen& screen = Toolkit::Get().screen();
  return screen.hasForm ? screen.form : FormInfo();
}

FormInfo StatusLine() {
  const Screen& screen = Toolkit::Get().screen();
  return screen.hasStatusLine ? screen.statusLine : FormInfo();
}

int StatusLineRedraws() { return Toolkit::Get().statusLineRedraws(); }

void ResetToolkit() { Toolkit::Get().Reset(); }

}  // namespace termsim
