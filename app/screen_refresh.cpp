#include "app/screen_refresh.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/main_screen.h"
#include "battery/battery_monitor.h"
#include "platform/terminal_services.h"

const char* const ReportLog = "./data/report.txt";

namespace {

constexpr uint32_t LOG_INTERVAL_MS = 600000;      // ten minutes
constexpr uint32_t LOG_INTERVAL_LOW_MS = 60000;   // one minute once the battery is low
constexpr uint16_t LOG_LOW_PERCENT = 40;
constexpr int SCREEN_RESULT_STAY = 2;
constexpr int BRIGHTNESS = 8;
constexpr int SLEEP_MODE_AWAKE = 0;
constexpr size_t LINE_SIZE = 256;

constexpr std::memory_order relaxed = std::memory_order_relaxed;

bool started = false;
uint32_t lastLogTick = 0;

void SetControlText(igForm* form, const char* name, const char* text) {
  form->FindChild(name)->SetText(text);
}

bool LogLineDue(uint32_t elapsed) {
  if (elapsed > LOG_INTERVAL_MS) return true;
  return BatteryState.voltageNow.load(relaxed) != 0 &&
         BatteryState.filteredPercent.load(relaxed) <= LOG_LOW_PERCENT &&
         elapsed > LOG_INTERVAL_LOW_MS;
}

// Appends one line to the log. The line goes in whole or not at all: when the disk is
// full or the write fails, the file is cut back to where it was, so a torn line can
// never run into the next one.
void AppendLogLine() {
  int fd = open(ReportLog, O_WRONLY | O_APPEND | O_CREAT, 0666);
  if (fd < 0) return;
  TerminalTime t;
  OsGetTime(&t);
  char line[LINE_SIZE];
  int length = std::snprintf(line, sizeof line, "%02u.%02u.%u %02u:%02u:%02u %i %i %i %u%% %u%%\r\n",
                             t.day, t.month, t.year, t.hour, t.minute, t.second,
                             BatteryState.voltageMax.load(relaxed),
                             BatteryState.voltageMin.load(relaxed),
                             BatteryState.voltageNow.load(relaxed),
                             static_cast<unsigned>(BatteryState.linearPercent.load(relaxed)),
                             static_cast<unsigned>(BatteryState.filteredPercent.load(relaxed)));
  struct stat before;
  bool sized = fstat(fd, &before) == 0;
  if (length > 0 && static_cast<size_t>(length) < sizeof line) {
    ssize_t written = write(fd, line, static_cast<size_t>(length));
    if (written != length && sized) {
      if (ftruncate(fd, before.st_size) != 0) {
        // Nothing more can be done; the next line starts after the torn one.
      }
    }
  }
  close(fd);
}

long LogSize() {
  struct stat status;
  if (stat(ReportLog, &status) != 0) return 0;
  return static_cast<long>(static_cast<int32_t>(status.st_size));
}

const char* ModeWord(StatusWord status) {
  if (status & BAT_EXTERNAL) return "ВНЕШНЕЕ ПИТАНИЕ";
  if (status & BAT_LOW) return "РАЗРЯЖЕНО";
  return "БАТАРЕЯ";
}

}  // namespace

void ResetMainScreenRefresh() { started = false; }

int RefreshMainScreen(igEvent* event, intptr_t formHandle) {
  if (!started) {
    // So that the first refresh writes a line.
    lastLogTick = OsGetTickCount() - (LOG_INTERVAL_MS + 1);
    started = true;
  }
  igForm* form = reinterpret_cast<igForm*>(formHandle);
  char text[LINE_SIZE];

  std::snprintf(text, sizeof text, "%i", BatteryState.voltageMax.load(relaxed));
  SetControlText(form, "Max", text);
  std::snprintf(text, sizeof text, "%i", BatteryState.voltageNow.load(relaxed));
  SetControlText(form, "Now", text);
  std::snprintf(text, sizeof text, "%u%%", static_cast<unsigned>(BatteryState.linearPercent.load(relaxed)));
  SetControlText(form, "Cur", text);
  std::snprintf(text, sizeof text, "%u%%", static_cast<unsigned>(BatteryState.filteredPercent.load(relaxed)));
  SetControlText(form, "Jit", text);
  std::snprintf(text, sizeof text, "%i", BatteryState.voltageMin.load(relaxed));
  SetControlText(form, "Min", text);
  std::snprintf(text, sizeof text, "%u%%", static_cast<unsigned>(BatteryState.status.load(relaxed) & 0xFF));
  SetControlText(form, "Prc", text);
  std::snprintf(text, sizeof text, "РЕЖИМ: %s", ModeWord(BatteryState.status.load(relaxed)));
  SetControlText(form, "Mode", text);

  uint32_t now = OsGetTickCount();
  if (LogLineDue(now - lastLogTick)) {
    AppendLogLine();
    lastLogTick = now;
  }

  std::snprintf(text, sizeof text, "%li", LogSize());
  SetControlText(form, "Size", text);

  OsSysSleepEx(SLEEP_MODE_AWAKE);
  OsScrBrightness(BRIGHTNESS);
  return event->code == CODE_UPLOAD ? RESULT_UPLOAD : SCREEN_RESULT_STAY;
}
