#include "host/program/settings.h"

#include <cstdio>
#include <cstdlib>

namespace termsim {
namespace {

// The variable's value; null when it is not set or empty.
const char* Setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string SettingOr(const char* name, const std::string& otherwise) {
  const char* value = Setting(name);
  return value != nullptr ? std::string(value) : otherwise;
}

// Reads up to five decimal digits from *text on; false when there are none or more.
bool ReadDimension(const char** text, int* value) {
  int digits = 0;
  *value = 0;
  while (**text >= '0' && **text <= '9') {
    if (++digits > 5) return false;
    *value = *value * 10 + (*(*text)++ - '0');
  }
  return digits > 0;
}

}  // namespace

std::string ParseScreenSize(const char* text, int* width, int* height) {
  int w = 0, h = 0;
  const char* p = text != nullptr ? text : "";
  bool wellFormed = ReadDimension(&p, &w) && (*p == 'x' || *p == 'X');
  if (wellFormed) {
    ++p;
    wellFormed = ReadDimension(&p, &h) && *p == '\0';
  }
  if (!wellFormed) return "expected WIDTHxHEIGHT in pixels, e.g. 480x272";
  if (w < kMinScreenWidth || w > kMaxScreenWidth || h < kMinScreenHeight || h > kMaxScreenHeight) {
    char why[128];
    std::snprintf(why, sizeof why, "the screens need from %dx%d to %dx%d pixels", kMinScreenWidth,
                  kMinScreenHeight, kMaxScreenWidth, kMaxScreenHeight);
    return why;
  }
  *width = w;
  *height = h;
  return "";
}

std::string ScreenSizeSetting(int* width, int* height) {
  // Set but empty is a mistake too: it is read as given.
  const char* size = std::getenv("TERMSIM_SCREEN");
  if (size == nullptr) return "";
  const std::string why = ParseScreenSize(size, width, height);
  return why.empty() ? why : "TERMSIM_SCREEN=" + std::string(size) + ": " + why;
}

std::string DisplaySetting(DisplayChoice* choice) {
  const char* name = Setting("TERMSIM_DISPLAY");
  const std::string chosen = name != nullptr ? name : "";
  if (chosen.empty()) {
    *choice = DisplayChoice::kAutomatic;
  } else if (chosen == "terminal") {
    *choice = DisplayChoice::kTerminal;
  } else if (chosen == "script") {
    *choice = DisplayChoice::kScript;
  } else if (chosen == "fb") {
    *choice = DisplayChoice::kFramebuffer;
  } else {
    return "TERMSIM_DISPLAY=" + chosen + " is not a display (terminal, script, fb)";
  }
  return "";
}

FramebufferSettings FramebufferSetting(int screenWidth, int screenHeight) {
  FramebufferSettings settings;
  settings.framebuffer = SettingOr("TERMSIM_FB", settings.framebuffer);
  settings.input = SettingOr("TERMSIM_INPUT", settings.input);
  settings.screenshots = SettingOr("TERMSIM_SCREENSHOTS", settings.screenshots);
  settings.screenWidth = screenWidth;
  settings.screenHeight = screenHeight;
  return settings;
}

}  // namespace termsim
