// What drawing the screen in pixels costs: the whole main screen, and the one control a
// refresh changes (the log's size), in the renderer alone and through the framebuffer
// display onto a file-backed framebuffer twice the screen's size at 32 bits a pixel.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/toolkit/displays/framebuffer/framebuffer_display.h"
#include "host/toolkit/render/renderer.h"
#include "tests/host_toolkit/sample_screens.h"

namespace {

using termsim::Image;
using termsim::Screen;

// The main screen, and the same with the log's size (the framed value) changed.
struct Screens {
  Screens() : before(test::MainScreen()), after(before) {
    before.formSerial = after.formSerial = 1;
    after.form.controls[7].text = "1290";
  }
  Screen before, after;
};

void BM_RenderWholeScreen(benchmark::State& state) {
  const Screens screens;
  Image image;
  for (auto _ : state) {
    termsim::RenderScreen(screens.before, 6, &image);
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_RenderWholeScreen)->Unit(benchmark::kMicrosecond);

// Finding what changed and drawing it again.
void BM_RenderOneControlChange(benchmark::State& state) {
  const Screens screens;
  Image image;
  termsim::RenderScreen(screens.before, 6, &image);
  bool flip = false;
  for (auto _ : state) {
    const Screen& from = flip ? screens.after : screens.before;
    const Screen& to = flip ? screens.before : screens.after;
    for (const termsim::Rect& area : termsim::ChangedAreas(from, 6, to, 6)) {
      termsim::RenderArea(to, 6, area, &image);
    }
    flip = !flip;
    benchmark::DoNotOptimize(image.pixels.data());
  }
}
BENCHMARK(BM_RenderOneControlChange)->Unit(benchmark::kMicrosecond);

// The framebuffer display in a temporary directory; keys from an empty file.
class FramebufferOnFile {
 public:
  FramebufferOnFile() {
    char pattern[] = "/tmp/render-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    dir_ = pattern;
    if (FILE* keys = std::fopen((dir_ + "/keys").c_str(), "w")) std::fclose(keys);
    termsim::FramebufferSettings settings;
    settings.framebuffer = dir_ + "/fb:640x480:32";
    settings.input = dir_ + "/keys";
    settings.screenWidth = 320;
    settings.screenHeight = 240;
    std::string error;
    display = termsim::FramebufferDisplay::Open(settings, &error);
    if (!display) std::abort();
  }
  ~FramebufferOnFile() {
    display.reset();
    unlink((dir_ + "/fb").c_str());
    unlink((dir_ + "/keys").c_str());
    rmdir(dir_.c_str());
  }
  std::unique_ptr<termsim::FramebufferDisplay> display;

 private:
  std::string dir_;
};

// A form put on the screen anew: its whole client area drawn and put on the framebuffer.
void BM_FramebufferNewForm(benchmark::State& state) {
  Screens screens;
  FramebufferOnFile fb;
  for (auto _ : state) {
    ++screens.before.formSerial;
    fb.display->Draw(screens.before);
  }
}
BENCHMARK(BM_FramebufferNewForm)->Unit(benchmark::kMicrosecond);

void BM_FramebufferOneControlChange(benchmark::State& state) {
  const Screens screens;
  FramebufferOnFile fb;
  bool flip = false;
  for (auto _ : state) {
    fb.display->Draw(flip ? screens.after : screens.before);
    flip = !flip;
  }
}
BENCHMARK(BM_FramebufferOneControlChange)->Unit(benchmark::kMicrosecond);

// A redraw in which nothing changed: the cost of every idle event.
void BM_FramebufferNothingChanged(benchmark::State& state) {
  const Screens screens;
  FramebufferOnFile fb;
  for (auto _ : state) fb.display->Draw(screens.before);
}
BENCHMARK(BM_FramebufferNothingChanged)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
