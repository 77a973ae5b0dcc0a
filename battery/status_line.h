// Status line: the clock and the battery indicator along the top of the screen.
#ifndef BATTERY_STATUS_LINE_H
#define BATTERY_STATUS_LINE_H

#include <cstdint>

#include "platform/ui_toolkit.h"

// The battery indicator, once created; the level callback colours it.
extern igBatLevel* BatteryIndicator;

// Builds the status line with its clock, installs it on ui and starts the indicator.
void BuildStatusLine(igUI* ui);
// Creates the battery indicator on the status line and starts the battery monitor;
// does nothing for a null status line.
void StartBatteryIndicator(igStatusLine* statusLine);
// The indicator's level callback: the current status word (indicator is the igBatLevel*).
unsigned short BatteryLevelCallback(intptr_t indicator);

#endif
