#include "host/toolkit/core/snapshot.h"

#include <algorithm>

namespace termsim {

bool operator==(const ControlInfo& a, const ControlInfo& b) {
  return a.kind == b.kind && a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h &&
         a.text == b.text && a.name == b.name && a.style == b.style && a.code == b.code &&
         a.first == b.first && a.second == b.second && a.textColour == b.textColour &&
         a.hasLevelText == b.hasLevelText && a.levelText == b.levelText &&
         a.levelHigh == b.levelHigh && a.levelLow == b.levelLow &&
         a.levelOutline == b.levelOutline && a.status == b.status && a.format == b.format;
}

std::vector<const ControlInfo*> LayoutOrder(const FormInfo& form) {
  std::vector<const ControlInfo*> order;
  order.reserve(form.controls.size());
  for (const ControlInfo& control : form.controls) order.push_back(&control);
  std::stable_sort(order.begin(), order.end(), [](const ControlInfo* a, const ControlInfo* b) {
    return a->y != b->y ? a->y < b->y : a->x < b->x;
  });
  return order;
}

}  // namespace termsim
