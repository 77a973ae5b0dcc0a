// Battery monitor: the sampling thread and the battery state it keeps current.
#ifndef BATTERY_BATTERY_MONITOR_H
#define BATTERY_BATTERY_MONITOR_H

#include <atomic>
#include <cstdint>

// Low byte: percentage shown to the user (0..100); the flags below; other bits 0.
typedef uint16_t StatusWord;

enum : StatusWord {
  BAT_LOW = 0x1000,       // on battery at 40 % or less
  BAT_EXTERNAL = 0x2000,  // running on external power
};

// The battery record. The monitor thread is its only writer; the UI thread reads any
// field at any time. Each field is read and written whole; no ordering between
// fields is relied on, so relaxed accesses are enough.
struct BatteryRecord {
  std::atomic<StatusWord> status{100};
  std::atomic<uint16_t> lastLevel{100};     // percentage of the previous pass, before the curve
  std::atomic<int32_t> voltageMax{0};       // kernel units (µV on most kernels), read once
  std::atomic<int32_t> voltageMin{0};
  std::atomic<int32_t> voltageNow{0};       // last value read
  std::atomic<uint16_t> linearPercent{0};   // last percentage computed from voltageNow
  std::atomic<uint16_t> filteredPercent{0}; // linearPercent after the no-rise filter
  std::atomic<bool> onBatteryBefore{false}; // the previous pass was a battery pass
};

extern BatteryRecord BatteryState;

// Directory holding the battery's kernel files voltage_max, voltage_min and voltage_now.
// Tests point it at a directory of their own before starting the monitor.
extern const char* BatteryFilesDir;

// Starts the monitor thread (arg is not used). Does nothing while one already runs.
void StartBatteryMonitor(void* arg);
// Stops the monitor thread and waits for it; returns at once when none runs.
void StopBatteryMonitor();

// Percentage shown to the user for a linear percentage.
uint16_t DisplayCurve(uint16_t p);

// Reads one kernel value: one line of at most 14 characters converted as atoi does.
// A file that does not open or yields no line leaves *value untouched; returns whether
// a value was stored.
bool ReadKernelValue(const char* path, int32_t* value);

// The start of the monitor thread: reads voltageMax and voltageMin, clears onBatteryBefore.
void BatteryMonitorBegin();
// One sampling pass of the monitor thread.
void BatteryMonitorPass();
// Puts BatteryState back to its initial values.
void ResetBatteryState();

#endif
