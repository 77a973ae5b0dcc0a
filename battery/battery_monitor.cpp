#include "battery/battery_monitor.h"

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/terminal_services.h"

BatteryRecord BatteryState;
const char* BatteryFilesDir = "/sys/class/power_supply/battery";

namespace {

constexpr std::memory_order relaxed = std::memory_order_relaxed;

constexpr int POWER_MAINS = 1;
constexpr int POWER_USB = 2;
constexpr int POWER_BATTERY = 3;

constexpr uint16_t LOW_PERCENT = 40;      // at or below: BAT_LOW on battery
constexpr int KERNEL_LINE_MAX = 14;       // characters of a kernel value line
constexpr uint32_t WAIT_STEP_MS = 50;     // stop checks within a pass's wait
constexpr int WAIT_STEPS = 10;            // 10 x 50 ms: about two passes a second

sem_t stopSemaphore;
pthread_t monitorThread;
bool monitorRunning = false;              // the thread handle is valid; UI thread only

// Percentage for each coarse level of OsCheckBattery on external power; 5 has none.
uint16_t LevelPercent(int level) {
  switch (level) {
    case 0: return 32;
    case 1: return 40;
    case 2: return 64;
    case 3: return 80;
    case 4: return 92;
    case 6: return 100;
    default: return 0;
  }
}

void KernelPath(char* path, size_t size, const char* name) {
  std::snprintf(path, size, "%s/%s", BatteryFilesDir, name);
}

// atoi's conversion, without its undefined behaviour: a 14-character line can hold a
// number beyond 32 bits, which is clamped instead.
int32_t ConvertAsAtoi(const char* text) {
  while (std::isspace(static_cast<unsigned char>(*text))) text++;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  int64_t value = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + (*text++ - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Percentage of v between min and max (min <= v <= max).
uint16_t LinearPercent(int32_t v, int32_t min, int32_t max) {
  // A battery whose maximum equals its minimum has no span to measure in: a reading
  // at that one voltage counts as full rather than dividing by zero or raising a
  // false low-battery warning. The Max and Min fields on screen show the fault.
  if (max == min) return 100;
  // 64-bit so that wide spans cannot overflow; the result is 0..100 either way.
  int64_t percent = (static_cast<int64_t>(v) - min) * 100 / (static_cast<int64_t>(max) - min);
  return static_cast<uint16_t>(percent);
}

void* MonitorThread(void*) {
  BatteryMonitorBegin();
  for (;;) {
    BatteryMonitorPass();
    for (int i = 0; i < WAIT_STEPS; i++) {
      if (sem_trywait(&stopSemaphore) == 0) return nullptr;
      OsSleep(WAIT_STEP_MS);
    }
  }
}

}  // namespace

uint16_t DisplayCurve(uint16_t p) {
  int v = p;
  if (v >= 94) return 100;
  if (v >= 65) return static_cast<uint16_t>((48 * v - 3120) / 28 + 52);
  if (v >= 50) return static_cast<uint16_t>((47 * v - 2350) / 15 + 5);
  if (v >= 10) return static_cast<uint16_t>((4 * (v - 10)) / 40 + 1);
  return 0;
}

bool ReadKernelValue(const char* path, int32_t* value) {
  // Kernel attributes are regular files. Anything else at the path (a FIFO, a device)
  // could block the sampling for ever: it is opened without waiting and not read.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  char line[KERNEL_LINE_MAX + 1];
  ssize_t got = -1;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    do {
      got = read(fd, line, KERNEL_LINE_MAX);
    } while (got < 0 && errno == EINTR);
  }
  close(fd);
  if (got <= 0) return false;
  line[got] = '\0';  // the line ends at its line feed, where the conversion stops anyway
  *value = ConvertAsAtoi(line);
  return true;
}

void BatteryMonitorBegin() {
  char path[256];
  int32_t value = BatteryState.voltageMax.load(relaxed);
  KernelPath(path, sizeof path, "voltage_max");
  if (ReadKernelValue(path, &value)) BatteryState.voltageMax.store(value, relaxed);
  value = BatteryState.voltageMin.load(relaxed);
  KernelPath(path, sizeof path, "voltage_min");
  if (ReadKernelValue(path, &value)) BatteryState.voltageMin.store(value, relaxed);
  BatteryState.onBatteryBefore.store(false, relaxed);
}

void BatteryMonitorPass() {
  uint16_t percent = 0;
  StatusWord flags = 0;
  int source = OsCheckPowerSupply();
  if (source == POWER_MAINS || source == POWER_USB) {
    BatteryState.onBatteryBefore.store(false, relaxed);
    flags |= BAT_EXTERNAL;
    percent = LevelPercent(OsCheckBattery());
  } else if (source == POWER_BATTERY) {
    char path[256];
    KernelPath(path, sizeof path, "voltage_now");
    int32_t v = BatteryState.voltageNow.load(relaxed);
    if (ReadKernelValue(path, &v)) {
      BatteryState.voltageNow.store(v, relaxed);
    } else {
      v = 0;
    }
    int32_t min = BatteryState.voltageMin.load(relaxed);
    int32_t max = BatteryState.voltageMax.load(relaxed);
    if (v != 0 && min <= v && v <= max) {
      percent = LinearPercent(v, min, max);
      BatteryState.linearPercent.store(percent, relaxed);
      uint16_t last = BatteryState.lastLevel.load(relaxed);
      if (BatteryState.onBatteryBefore.load(relaxed) && percent > last) percent = last;
      BatteryState.filteredPercent.store(percent, relaxed);
      if (percent <= LOW_PERCENT) flags |= BAT_LOW;
    }
    BatteryState.onBatteryBefore.store(true, relaxed);
  }
  BatteryState.lastLevel.store(percent, relaxed);
  BatteryState.status.store(static_cast<StatusWord>(DisplayCurve(percent) | flags), relaxed);
}

void ResetBatteryState() {
  BatteryState.status.store(100, relaxed);
  BatteryState.lastLevel.store(100, relaxed);
  BatteryState.voltageMax.store(0, relaxed);
  BatteryState.voltageMin.store(0, relaxed);
  BatteryState.voltageNow.store(0, relaxed);
  BatteryState.linearPercent.store(0, relaxed);
  BatteryState.filteredPercent.store(0, relaxed);
  BatteryState.onBatteryBefore.store(false, relaxed);
}

void StartBatteryMonitor(void* arg) {
  if (monitorRunning) return;
  sem_init(&stopSemaphore, 0, 0);
  // A thread that cannot be created leaves BatteryState at its initial values.
  monitorRunning = pthread_create(&monitorThread, nullptr, MonitorThread, arg) == 0;
}

void StopBatteryMonitor() {
  if (!monitorRunning) return;
  sem_post(&stopSemaphore);
  pthread_join(monitorThread, nullptr);
  monitorRunning = false;
  sem_destroy(&stopSemaphore);
}
