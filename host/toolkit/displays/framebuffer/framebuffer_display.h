// The framebuffer display: the screen drawn in pixels on a Linux framebuffer, centred and
// enlarged by a whole factor, keys read from an evdev input device. Only what changed is
// drawn again. Print Screen saves the screen as a PNG file and its text beside it.
#ifndef HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_FRAMEBUFFER_DISPLAY_H
#define HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_FRAMEBUFFER_DISPLAY_H

#include <memory>
#include <string>

#include "host/toolkit/core/display.h"
#include "host/toolkit/displays/framebuffer/evdev_keys.h"
#include "host/toolkit/displays/focus_ring.h"
#include "host/toolkit/displays/host_chrome.h"
#include "host/toolkit/displays/framebuffer/framebuffer.h"
#include "host/toolkit/render/image.h"

namespace termsim {

struct FramebufferSettings {
  std::string framebuffer = "/dev/fb0";  // TERMSIM_FB: a device, or PATH:WxH:BPP
  std::string input;                     // TERMSIM_INPUT; empty: the first keyboard found
  std::string screenshots = ".";         // TERMSIM_SCREENSHOTS: where Print Screen saves
  int screenWidth = 0, screenHeight = 0;  // the screen it must hold
};

class FramebufferDisplay final : public Display {
 public:
  // Opens the framebuffer and the input device and checks them before anything is
  // drawn. On failure returns null, with a sentence naming the variable and the device
  // in *error. The host's function keys go to chrome; the screen has no room for its line.
  static std::unique_ptr<FramebufferDisplay> Open(const FramebufferSettings& settings,
                                                  std::string* error,
                                                  HostChrome chrome = HostChrome());
  ~FramebufferDisplay() override;
  FramebufferDisplay(const FramebufferDisplay&) = delete;
  FramebufferDisplay& operator=(const FramebufferDisplay&) = delete;

  void Draw(const Screen& screen) override;
  int WaitInput(int timeoutMs) override;

  // Screenshots saved so far; the next one is screen-<count + 1>.png.
  int screenshots() const { return screenshotCount_; }

 private:
  FramebufferDisplay(std::unique_ptr<Framebuffer> framebuffer, int input, std::string screenshots,
                     HostChrome chrome);
  // Draws what differs from the screen last drawn (all of it the first time).
  void Paint();
  void SaveScreenshot();

  std::unique_ptr<Framebuffer> framebuffer_;
  int input_;
  bool inputOpen_ = true;
  std::string screenshotDir_;
  int screenshotCount_ = 0;
  HostChrome chrome_;
  EvdevKeys keys_;
  FocusRing focus_;
  Screen screen_;       // to draw
  Screen shown_;        // drawn
  int shownFocus_ = -1;
  bool haveShown_ = false;
  Image image_;         // the screen as drawn
  Placement placement_;
};

}  // namespace termsim

#endif
