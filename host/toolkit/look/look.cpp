#include "host/toolkit/look/look.h"

#include <algorithm>

namespace termsim {

TitleLook TitleLookOf(const FormInfo& form) {
  TitleLook look;
  look.bar = form.second;
  look.ink = form.first;
  if (form.flags & kFormFramed) {
    look.bar = form.first;
    look.ink = form.second;
    look.frame = form.first;
    look.framed = true;
  }
  if (form.flags & kFormError) {
    look.bar = form.second;
    look.ink = kWhite;
    look.frame = kWhite;
    look.framed = true;
  }
  return look;
}

ButtonLook ButtonLookOf(const ControlInfo& button, bool focused) {
  ButtonLook look;
  look.background = focused ? kFocusColour : button.second;
  look.ink = focused ? kBlack : button.first;
  look.text = button.text;
  std::replace(look.text.begin(), look.text.end(), '\n', ' ');
  std::replace(look.text.begin(), look.text.end(), '\r', ' ');
  return look;
}

IndicatorLook IndicatorLookOf(const ControlInfo& indicator) {
  IndicatorLook look;
  look.percent = std::min(100, static_cast<int>(indicator.status & kLevelPercentMask));
  look.low = (indicator.status & kLevelLow) != 0;
  look.background = indicator.second;
  look.outline = indicator.levelOutline;
  look.fill = look.low ? indicator.levelLow : indicator.levelHigh;
  look.empty = indicator.first;
  look.ink = indicator.textColour;
  if (indicator.hasLevelText) look.text = indicator.levelText;
  if (look.text.empty() && (indicator.status & kLevelExternal) != 0) look.text = "~";
  return look;
}

}  // namespace termsim
