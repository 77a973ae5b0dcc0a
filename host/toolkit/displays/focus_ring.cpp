#include "host/toolkit/displays/focus_ring.h"

namespace termsim {

void FocusRing::Update(const Screen& screen) {
  if (screen.formSerial != serial_) {
    serial_ = screen.formSerial;
    focus_ = 0;
  }
  buttons_.clear();
  codes_.clear();
  if (screen.hasForm) {
    const FormInfo& form = screen.form;
    for (const ControlInfo* control : LayoutOrder(form)) {
      if (control->kind != ControlKind::kButton) continue;
      buttons_.push_back(static_cast<int>(control - form.controls.data()));
      codes_.push_back(control->code);
    }
  }
  if (focus_ >= static_cast<int>(buttons_.size())) focus_ = 0;
}

int FocusRing::Focused() const {
  return buttons_.empty() ? -1 : buttons_[static_cast<size_t>(focus_)];
}

int FocusRing::Apply(const DecodedKey& key, bool* moved) {
  *moved = false;
  const int count = static_cast<int>(buttons_.size());
  switch (key.action) {
    case DecodedKey::kCode:
      return key.code;
    case DecodedKey::kFocusNext:
    case DecodedKey::kFocusPrevious:
      if (count > 0) {
        const int step = key.action == DecodedKey::kFocusNext ? 1 : -1;
        focus_ = ((focus_ + step) % count + count) % count;
        *moved = true;
      }
      return -1;
    case DecodedKey::kPress:
      return count > 0 ? codes_[static_cast<size_t>(focus_)] : -1;
    default:
      return -1;
  }
}

}  // namespace termsim
