#include "host/toolkit/core/toolkit.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/common/host_clock.h"

namespace termsim {

namespace {

// A quit posted and not yet taken by the modal loop.
std::atomic<bool> gQuitPosted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a quit is posted from signal handlers");

// Where the screen goes while the host has given no display: nowhere, and every wait is
// a quit, so that no modal loop waits for input that cannot come.
class NoDisplay final : public Display {
 public:
  void Draw(const Screen& /*screen*/) override {}
  int WaitInput(int /*timeoutMs*/) override { return kQuit; }
};

}  // namespace

void PostQuit() { gQuitPosted.store(true); }

Toolkit& Toolkit::Get() {
  // Function-static: everything still registered is released at process exit.
  static Toolkit toolkit;
  return toolkit;
}

Toolkit::~Toolkit() { Reset(); }

void Toolkit::UseDisplay(std::unique_ptr<Display> display) { display_ = std::move(display); }

void Toolkit::SetDisplayMaker(std::function<std::unique_ptr<Display>()> maker) {
  displayMaker_ = std::move(maker);
}

void Toolkit::SetQuitDone(std::function<void()> done) { quitDone_ = std::move(done); }

void Toolkit::Reset() {
  ReleaseAll();
  delete ui_;
  ui_ = nullptr;
  display_.reset();
  forms_.clear();
  statusLine_ = nullptr;
  shown_ = nullptr;
  callback_ = nullptr;
  onScreen_ = nullptr;
  scheme_ = Scheme();
  screen_ = Screen();
  gQuitPosted.store(false);
  quitting_ = false;
  displayMaker_ = nullptr;
  quitDone_ = nullptr;
  serial_ = 0;
  statusLineRedraws_ = 0;
  drawing_ = false;
  fixedClock_.reset();
}

void Toolkit::SetScreenSize(int width, int height) {
  screen_.width = width;
  screen_.height = height;
}

Display& Toolkit::display() {
  if (!display_ && displayMaker_) display_ = displayMaker_();
  if (!display_) display_ = std::make_unique<NoDisplay>();
  return *display_;
}

igWidget* Toolkit::NewWidget(WidgetKind kind) {
  igWidget* widget = new igWidget;
  widget->kind = kind;
  if (kind == WidgetKind::kClock || kind == WidgetKind::kBatLevel) {
    widget->first = scheme_.screenFg;
    widget->second = scheme_.screenBg;
    widget->coloursSet = true;
  }
  live_.insert(widget);
  roots_.push_back(widget);
  return widget;
}

bool Toolkit::Alive(const igWidget* widget) const {
  return widget != nullptr && live_.count(const_cast<igWidget*>(widget)) != 0;
}

void Toolkit::AddChild(igWidget* parent, igWidget* child) {
  if (!Alive(parent) || !Alive(child) || parent == child) return;
  if (child->parent != nullptr) {
    auto& siblings = child->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), child), siblings.end());
  } else {
    roots_.erase(std::remove(roots_.begin(), roots_.end(), child), roots_.end());
  }
  child->parent = parent;
  parent->children.push_back(child);
}

void Toolkit::Release(igWidget* widget) {
  if (!Alive(widget)) return;
  if (widget->parent != nullptr) {
    auto& siblings = widget->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), widget), siblings.end());
  } else {
    roots_.erase(std::remove(roots_.begin(), roots_.end(), widget), roots_.end());
  }
  Destroy(widget);
}

void Toolkit::Forget(igWidget* widget) {
  live_.erase(widget);
  forms_.erase(std::remove(forms_.begin(), forms_.end(), widget), forms_.end());
  if (statusLine_ == widget) statusLine_ = nullptr;
  if (shown_ == widget) {
    shown_ = nullptr;
    callback_ = nullptr;
  }
  if (onScreen_ == widget) onScreen_ = nullptr;  // its snapshot stays on the screen
}

void Toolkit::Destroy(igWidget* widget) {
  for (igWidget* child : widget->children) Destroy(child);
  widget->children.clear();
  Forget(widget);
  // The public classes have non-virtual destructors: delete through the concrete class.
  switch (widget->kind) {
    case WidgetKind::kForm:
      delete static_cast<igForm*>(widget->container);
      break;
    case WidgetKind::kStatusLine:
      delete static_cast<igStatusLine*>(widget->container);
      break;
    case WidgetKind::kStatic:
      delete static_cast<igStatic*>(widget->control);
      break;
    case WidgetKind::kMultiLine:
      delete static_cast<igMultiLine*>(widget->control);
      break;
    case WidgetKind::kButton:
      delete static_cast<igButton*>(widget->control);
      break;
    case WidgetKind::kClock:
      delete static_cast<igClock*>(widget->control);
      break;
    case WidgetKind::kBatLevel:
      delete static_cast<igBatLevel*>(widget->control);
      break;
  }
  delete widget;
}

void Toolkit::ReleaseAll() {
  while (!roots_.empty()) Release(roots_.back());
}

void Toolkit::SetStatusLine(igWidget* line) {
  if (line != nullptr && !Alive(line)) return;
  statusLine_ = line;
}

void Toolkit::Add(igWidget* form) {
  if (!Alive(form)) return;
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void Toolkit::Del(igWidget* form) {
  if (!Alive(form) || form->kind != WidgetKind::kForm) return;
  Release(form);
}

void Toolkit::Show(igWidget* form, igFormCallback callback) {
  if (!Alive(form)) return;
  shown_ = form;
  callback_ = callback;
  form->result = 0;
  PutOnScreen(form);
}

void Toolkit::View(igWidget* form) {
  if (!Alive(form)) return;
  PutOnScreen(form);
}

void Toolkit::WaitEndModal() {
  igWidget* const form = shown_;
  const igFormCallback callback = callback_;
  if (!Alive(form)) return;
  form->result = 0;
  for (;;) {
    int input = Display::kNoInput;
    if (gQuitPosted.exchange(false)) quitting_ = true;
    if (quitting_) {
      // Back at the first form everything the program started has ended.
      if (quitDone_ && !forms_.empty() && form == forms_.front()) quitDone_();
      input = 27;
    } else {
      input = display().WaitInput(static_cast<int>(RealMsFor(kIdleIntervalMs, kMinIdleRealMs)));
      if (input == Display::kQuit) {
        quitting_ = true;
        input = 27;
      }
    }
    igEvent event{static_cast<unsigned char>(input < 0 ? 0 : input)};
    const int answer = callback != nullptr ? callback(&event, FormHandle(form)) : 0;
    if (!Alive(form)) return;  // released by its own callback
    bool end = true;
    if (input == 27) {
      form->result = -1;
    } else if (input == 13) {
      form->result = 1;
    } else if (answer == 1 || answer == 100) {
      form->result = answer;
    } else {
      end = false;
    }
    // A box the callback showed and released leaves the screen to this form again.
    if (onScreen_ == nullptr) {
      PutOnScreen(form);
    } else {
      Redraw();
    }
    if (end) return;
  }
}

unsigned short Toolkit::FormFirst(const igWidget* form) const {
  if (form->coloursSet) return form->first;
  return scheme_.formSet ? scheme_.formFg : scheme_.screenFg;
}

unsigned short Toolkit::FormSecond(const igWidget* form) const {
  if (form->coloursSet) return form->second;
  return scheme_.formSet ? scheme_.formBg : scheme_.screenBg;
}

namespace {

ControlKind KindOf(WidgetKind kind) {
  switch (kind) {
    case WidgetKind::kMultiLine:
      return ControlKind::kMultiLine;
    case WidgetKind::kButton:
      return ControlKind::kButton;
    case WidgetKind::kClock:
      return ControlKind::kClock;
    case WidgetKind::kBatLevel:
      return ControlKind::kBatLevel;
    case WidgetKind::kStatic:
    case WidgetKind::kForm:        // containers are never a form's controls
    case WidgetKind::kStatusLine:
      break;
  }
  return ControlKind::kStatic;
}

}  // namespace

FormInfo Toolkit::Describe(const igWidget* container) const {
  FormInfo info;
  if (!Alive(container)) return info;
  info.title = container->text;
  info.flags = container->flags;
  info.option = container->option;
  info.first = FormFirst(container);
  info.second = FormSecond(container);
  info.result = container->result;
  for (const igWidget* child : container->children) {
    ControlInfo control;
    control.kind = KindOf(child->kind);
    control.x = child->x;
    control.y = child->y;
    control.w = child->w;
    control.h = child->h;
    control.text =
        child->kind == WidgetKind::kClock ? ClockText(child->format, ClockTime()) : child->text;
    control.name = child->name;
    control.style = child->style;
    control.code = child->code;
    control.format = child->format;
    if (child->coloursSet) {
      control.first = child->first;
      control.second = child->second;
    } else if (child->kind == WidgetKind::kButton) {
      control.first = scheme_.buttonFg;
      control.second = scheme_.buttonBg;
    } else if (scheme_.staticSet) {
      control.first = scheme_.staticFg;
      control.second = scheme_.staticBg;
    } else {
      control.first = info.first;
      control.second = info.second;
    }
    control.textColour = child->textColour;
    control.hasLevelText = child->hasLevelText;
    control.levelText = child->levelText;
    control.levelHigh = child->levelHigh;
    control.levelLow = child->levelLow;
    control.levelOutline = child->levelOutline;
    control.status = child->status;
    info.controls.push_back(std::move(control));
  }
  return info;
}

FormInfo Toolkit::DescribeStatusLine() {
  // Ask each indicator for its level first: the callback may change the indicator's
  // level text and colour, and the snapshot is taken afterwards. Copy the list, as a
  // callback must not be able to invalidate the iteration.
  const std::vector<igWidget*> children = statusLine_->children;
  for (igWidget* child : children) {
    if (child->kind != WidgetKind::kBatLevel || child->levelCallback == nullptr) continue;
    const unsigned short status = child->levelCallback(IndicatorHandle(child));
    if (Alive(child)) child->status = status;
  }
  ++statusLineRedraws_;
  return Alive(statusLine_) ? Describe(statusLine_) : FormInfo();
}

void Toolkit::Redraw() {
  if (drawing_) return;  // a level callback drawing again would recurse
  drawing_ = true;
  if (Alive(onScreen_)) screen_.form = Describe(onScreen_);
  screen_.hasStatusLine = statusLine_ != nullptr;
  if (statusLine_ != nullptr) screen_.statusLine = DescribeStatusLine();
  if (statusLine_ == nullptr) screen_.hasStatusLine = false;
  screen_.scheme = scheme_;
  screen_.quitting = quitting_ || gQuitPosted.load();
  display().Draw(screen_);
  drawing_ = false;
}

void Toolkit::PutOnScreen(igWidget* form) {
  onScreen_ = form;
  screen_.hasForm = true;
  screen_.formSerial = ++serial_;
  Redraw();
}

intptr_t FormHandle(const igWidget* form) {
  return reinterpret_cast<intptr_t>(static_cast<igForm*>(form->container));
}

intptr_t IndicatorHandle(const igWidget* indicator) {
  return reinterpret_cast<intptr_t>(static_cast<igBatLevel*>(indicator->control));
}

std::tm Toolkit::ClockTime() const {
  if (fixedClock_) return *fixedClock_;
  const std::time_t now = ProgramCalendarTime();
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

void Toolkit::FixClock(const std::tm& local) { fixedClock_ = local; }

std::string ClockText(int format, const std::tm& local) {
  // Format bits: 1 hours, 2 minutes, 4 seconds, 8 date (DD.MM.YYYY) in front; 0 is 3.
  if ((format & 15) == 0) format = 3;
  char buffer[40];
  std::string text;
  if (format & 8) {
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1,
                  local.tm_year + 1900);
    text = buffer;
  }
  const int parts[3] = {local.tm_hour, local.tm_min, local.tm_sec};
  std::string time;
  for (int i = 0; i < 3; ++i) {
    if ((format & (1 << i)) == 0) continue;
    if (!time.empty()) time += ':';
    std::snprintf(buffer, sizeof buffer, "%02d", parts[i]);
    time += buffer;
  }
  if (!text.empty() && !time.empty()) text += ' ';
  return text + time;
}

}  // namespace termsim
