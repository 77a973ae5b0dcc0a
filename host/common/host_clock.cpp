#include "host/common/host_clock.h"

#include "host/common/end_actions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace termsim {
namespace {

// The program's time as a line through real time: it is `base` at real time `since`
// and runs at `rate` from there. The line is started afresh whenever the rate changes,
// so that the program's time never jumps.
struct ProgramClock {
  std::mutex mutex;
  bool started = false;
  int scale = 1;
  int holds = 0;
  uint64_t since = 0;  // real ms
  uint64_t base = 0;   // program ms
  uint64_t startMs = 0;       // program ms at the start
  time_t startCalendar = 0;   // real calendar time at the start
  bool scaled = false;        // the scale has been other than 1

  int RateLocked() const { return holds > 0 ? 1 : scale; }
  uint64_t NowLocked(uint64_t real) const { return base + (real - since) * RateLocked(); }
  void StartLocked() {
    if (started) return;
    started = true;
    const char* text = std::getenv("TERMSIM_TIME_SCALE");
    if (text != nullptr && text[0] != '\0') {
      const std::string why = ParseTimeScale(text, &scale);
      if (!why.empty()) {
        std::fprintf(stderr, "termsim: TERMSIM_TIME_SCALE=%s: %s\n", text, why.c_str());
        EndProgram(2);  // not exit(): this clock's lock is held
      }
    }
    since = RealMs();
    base = since;
    startMs = base;
    startCalendar = std::time(nullptr);
    scaled = scale != 1;
  }
  // Starts a new line at real time `real` with the rate to come.
  void RebaseLocked(uint64_t real) {
    base = NowLocked(real);
    since = real;
  }
};

ProgramClock& Clock() {
  static ProgramClock clock;
  return clock;
}

}  // namespace

uint64_t RealMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepRealMs(uint64_t ms) {
  timespec left{};
  left.tv_sec = static_cast<time_t>(ms / 1000u);
  left.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::string ParseTimeScale(const char* text, int* scale) {
  long value = 0;
  int digits = 0;
  const char* p = text != nullptr ? text : "";
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (++digits > 6) break;
    value = value * 10 + (*p - '0');
  }
  if (digits == 0 || *p != '\0') return "expected a whole number of times faster, e.g. 60";
  if (value < 1 || value > kMaxTimeScale) return "the time scale goes from 1 to 100000";
  *scale = static_cast<int>(value);
  return "";
}

int TimeScale() {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  return c.scale;
}

void SetTimeScale(int scale) {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  c.RebaseLocked(RealMs());
  c.scale = scale < 1 ? 1 : scale > kMaxTimeScale ? kMaxTimeScale : scale;
  if (c.scale != 1) c.scaled = true;
}

uint64_t ProgramMs() {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  return c.NowLocked(RealMs());
}

time_t ProgramCalendarTime() {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  // Unscaled, the calendar is the system's, also when someone sets the system clock.
  if (!c.scaled) return std::time(nullptr);
  return c.startCalendar + static_cast<time_t>((c.NowLocked(RealMs()) - c.startMs) / 1000u);
}

uint64_t RealMsFor(uint64_t programMs, uint64_t floorMs) {
  ProgramClock& c = Clock();
  uint64_t real;
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.StartLocked();
    real = programMs / static_cast<uint64_t>(c.RateLocked());
  }
  return real < floorMs ? floorMs : real;
}

void SleepProgramMs(uint64_t ms) {
  if (ms == 0) return;
  SleepRealMs(RealMsFor(ms, 1));
}

void HoldRealRate() {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  c.RebaseLocked(RealMs());
  ++c.holds;
}

void ReleaseRealRate() {
  ProgramClock& c = Clock();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.StartLocked();
  if (c.holds == 0) return;
  c.RebaseLocked(RealMs());
  --c.holds;
}

}  // namespace termsim
