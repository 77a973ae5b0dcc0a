#include "battery/status_line.h"

#include <cstdio>

#include "battery/battery_monitor.h"

igBatLevel* BatteryIndicator = nullptr;

namespace {

constexpr unsigned short STATUS_LINE_HEIGHT = 20;
constexpr unsigned short CLOCK_FORMAT = 3;
constexpr unsigned short INDICATOR_SIZE = 20;

constexpr unsigned short COLOUR_CLOCK_TEXT = 0xFFE0;   // yellow
constexpr unsigned short COLOUR_CLOCK_BACK = 0x0000;   // black
constexpr unsigned short COLOUR_INDICATOR = 0x0410;    // teal
constexpr unsigned short COLOUR_LEVEL_HIGH = 0xFFE0;
constexpr unsigned short COLOUR_LEVEL_LOW = 0xF800;
constexpr unsigned short COLOUR_LEVEL_FRAME = 0xFFFF;
constexpr unsigned short COLOUR_TEXT = 0xFFFF;         // white
constexpr unsigned short COLOUR_TEXT_LOW = 0xFC10;     // pink: battery low

}  // namespace

void BuildStatusLine(igUI* ui) {
  int w = igUI::GetWidth();
  igStatusLine* statusLine = new igStatusLine(STATUS_LINE_HEIGHT, 1);
  igClock* clock = new igClock(0, 0, static_cast<unsigned short>((3 * w) / 4), STATUS_LINE_HEIGHT,
                               CLOCK_FORMAT);
  clock->SetColors(COLOUR_CLOCK_TEXT, COLOUR_CLOCK_BACK);
  statusLine->AddChild(clock);
  ui->SetStatusLine(statusLine);
  StartBatteryIndicator(statusLine);
}

void StartBatteryIndicator(igStatusLine* statusLine) {
  if (statusLine == nullptr) return;
  int w = igUI::GetWidth();
  igBatLevel* indicator = new igBatLevel(static_cast<short>(w - INDICATOR_SIZE), 0, INDICATOR_SIZE,
                                         INDICATOR_SIZE, BatteryLevelCallback);
  BatteryIndicator = indicator;
  indicator->SetColors(COLOUR_INDICATOR, indicator->GetSecondColor());
  indicator->SetLevelColors(COLOUR_LEVEL_HIGH, COLOUR_LEVEL_LOW, COLOUR_LEVEL_FRAME);
  indicator->SetTextColor(COLOUR_TEXT);
  statusLine->AddChild(indicator);
  StartBatteryMonitor(indicator);
}

unsigned short BatteryLevelCallback(intptr_t indicator) {
  StatusWord status = BatteryState.status.load(std::memory_order_relaxed);
  igBatLevel* self = reinterpret_cast<igBatLevel*>(indicator);
  if (status & BAT_EXTERNAL) {
    self->SetLevelText(nullptr);
    return status;
  }
  char text[8];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(status & 0xFF));
  self->SetLevelText(text);
  BatteryIndicator->SetTextColor((status & BAT_LOW) ? COLOUR_TEXT_LOW : COLOUR_TEXT);
  return status;
}
