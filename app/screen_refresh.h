// Screen refresh and battery log: the main screen's callback.
#ifndef APP_SCREEN_REFRESH_H
#define APP_SCREEN_REFRESH_H

#include <cstdint>

#include "platform/ui_toolkit.h"

// The battery log, appended to by the refresh and sent and deleted by an upload.
extern const char* const ReportLog;

// The main screen's callback: shows BatteryState, appends a log line when one is due,
// shows the log's size. Returns 100 for the UPLOAD button's event (code 8), else 2.
int RefreshMainScreen(igEvent* event, intptr_t form);
// Back to the state before the first refresh: the next refresh writes a log line.
void ResetMainScreenRefresh();

#endif
