// The host's settings, read from the environment in one place. A setting that is there
// but cannot be used gets a sentence saying what is wrong with it; the shell ends the
// program with it, since nothing is shown where it was not meant.
#ifndef HOST_PROGRAM_SETTINGS_H
#define HOST_PROGRAM_SETTINGS_H

#include <string>

#include "host/toolkit/displays/framebuffer/framebuffer_display.h"

namespace termsim {

// Reads a screen size "WIDTHxHEIGHT" (e.g. "480x272") within the sizes the toolkit's
// screens are laid out for. Returns "" and the size, or what is wrong with the text.
std::string ParseScreenSize(const char* text, int* width, int* height);
constexpr int kMinScreenWidth = 240, kMaxScreenWidth = 1920;
constexpr int kMinScreenHeight = 200, kMaxScreenHeight = 1080;

// TERMSIM_SCREEN: the screen's size; *width and *height are left as they are without it.
// Returns "" or the sentence on what is wrong.
std::string ScreenSizeSetting(int* width, int* height);

// The displays TERMSIM_DISPLAY may name.
enum class DisplayChoice { kAutomatic, kTerminal, kScript, kFramebuffer };
// TERMSIM_DISPLAY: "terminal", "script" or "fb"; without it (or empty) kAutomatic.
// Returns "" or the sentence on what is wrong.
std::string DisplaySetting(DisplayChoice* choice);

// TERMSIM_FB, TERMSIM_INPUT and TERMSIM_SCREENSHOTS, for a screen of this size.
FramebufferSettings FramebufferSetting(int screenWidth, int screenHeight);

}  // namespace termsim

#endif
