#include "host/toolkit/displays/framebuffer/framebuffer_display.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>

#include "host/toolkit/render/png_file.h"
#include "host/toolkit/render/renderer.h"
#include "host/toolkit/look/screen_text.h"

namespace termsim {
namespace {

// Writes a file whole under its name: first under a temporary name, then renamed.
bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  const std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary);
    out << text;
    if (!out.flush()) {
      *error = "cannot write " + path;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<FramebufferDisplay> FramebufferDisplay::Open(const FramebufferSettings& settings,
                                                             std::string* error,
                                                             HostChrome chrome) {
  std::string reason;
  std::unique_ptr<Framebuffer> framebuffer = Framebuffer::Open(settings.framebuffer, &reason);
  const std::string name = framebuffer ? framebuffer->path() : settings.framebuffer;
  if (!framebuffer) {
    *error = "The framebuffer " + name + " named by TERMSIM_FB " + reason + ".";
    return nullptr;
  }
  const FramebufferGeometry& geometry = framebuffer->geometry();
  if (FitScreen(geometry, settings.screenWidth, settings.screenHeight).scale < 1) {
    *error = "The framebuffer " + name + " named by TERMSIM_FB is " +
             std::to_string(geometry.width) + " x " + std::to_string(geometry.height) +
             " pixels, too small for the " + std::to_string(settings.screenWidth) + " x " +
             std::to_string(settings.screenHeight) + " screen.";
    return nullptr;
  }
  std::string opened;
  const int input = OpenKeyboard(settings.input, &opened, error);
  if (input < 0) return nullptr;
  // Nothing has been drawn before this point: a failure above leaves the screen as it was.
  return std::unique_ptr<FramebufferDisplay>(
      new FramebufferDisplay(std::move(framebuffer), input, settings.screenshots, std::move(chrome)));
}

FramebufferDisplay::FramebufferDisplay(std::unique_ptr<Framebuffer> framebuffer, int input,
                                       std::string screenshots, HostChrome chrome)
    : framebuffer_(std::move(framebuffer)),
      input_(input),
      screenshotDir_(std::move(screenshots)),
      chrome_(std::move(chrome)) {
  framebuffer_->Clear();
}

FramebufferDisplay::~FramebufferDisplay() { CloseKeyboard(input_); }

void FramebufferDisplay::Draw(const Screen& screen) {
  screen_ = screen;
  focus_.Update(screen_);
  Paint();
}

void FramebufferDisplay::Paint() {
  const int focus = focus_.Focused();
  std::vector<Rect> areas;
  if (!haveShown_ || image_.width != screen_.width || image_.height != screen_.height) {
    image_ = Image(screen_.width, screen_.height);
    placement_ = FitScreen(framebuffer_->geometry(), screen_.width, screen_.height);
    if (haveShown_) framebuffer_->Clear();
    areas.push_back(image_.Bounds());
  } else {
    areas = ChangedAreas(shown_, shownFocus_, screen_, focus);
  }
  if (areas.empty()) return;
  for (const Rect& area : areas) RenderArea(screen_, focus, area, &image_);
  for (const Rect& area : areas) framebuffer_->Put(image_, area, placement_);
  shown_ = screen_;
  shownFocus_ = focus;
  haveShown_ = true;
}

void FramebufferDisplay::SaveScreenshot() {
  const std::string base = screenshotDir_ + "/screen-" + std::to_string(++screenshotCount_);
  Image image;
  RenderScreen(screen_, focus_.Focused(), &image);
  // The text first, the picture last: once the PNG is there, both are whole.
  std::string error;
  bool saved = WriteText(base + ".txt", ScreenTextOf(screen_), &error) &&
               WritePng(base + ".png.part", image, 1, &error);
  if (saved && std::rename((base + ".png.part").c_str(), (base + ".png").c_str()) != 0) {
    error = "cannot write " + base + ".png";
    saved = false;
  }
  if (!saved) std::fprintf(stderr, "termsim: the screenshot was not saved: %s\n", error.c_str());
}

int FramebufferDisplay::WaitInput(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    DecodedKey key;
    while (keys_.Pop(&key)) {
      if (key.action == DecodedKey::kScreenshot) {
        SaveScreenshot();
        continue;
      }
      if (key.action == DecodedKey::kFunction) {
        chrome_.PressKey(key.code);  // the host's, never the program's
        continue;
      }
      bool moved = false;
      const int code = focus_.Apply(key, &moved);
      if (moved) Paint();
      if (code >= 0) return code;
    }
    const long long left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return kNoInput;
    pollfd device{inputOpen_ ? input_ : -1, POLLIN, 0};
    const int ready = poll(&device, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return kNoInput;
    if (ready <= 0 || (device.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    char buffer[64 * sizeof(input_event)];
    const ssize_t got = read(input_, buffer, sizeof buffer);
    if (got > 0) {
      keys_.FeedBytes(buffer, static_cast<size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      // The end of a file or of a pipe's writers, or a device gone: no more keys; the
      // modal loop goes on idling.
      inputOpen_ = false;
    }
  }
}

}  // namespace termsim
