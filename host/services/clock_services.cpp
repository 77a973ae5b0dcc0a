// Ticks, calendar time, sleep and sleep control on the host.
#include <cerrno>
#include <ctime>

#include "host/services/linux_services.h"
#include "host/services/monotonic.h"
#include "platform/terminal_services.h"

namespace termsim {

uint32_t TicksFromTimespec(const timespec& ts) {
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                      static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(uint64_t ms) {
  timespec left{};
  left.tv_sec = static_cast<time_t>(ms / 1000u);
  left.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace termsim

uint32_t OsGetTickCount() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return termsim::TicksFromTimespec(ts);
}

int OsGetTime(TerminalTime* t) {
  if (t == nullptr) return -EINVAL;
  const time_t now = time(nullptr);
  tm local{};
  if (localtime_r(&now, &local) == nullptr) return -EINVAL;
  t->year = static_cast<uint32_t>(local.tm_year + 1900);
  t->month = static_cast<uint32_t>(local.tm_mon + 1);
  t->day = static_cast<uint32_t>(local.tm_mday);
  t->hour = static_cast<uint32_t>(local.tm_hour);
  t->minute = static_cast<uint32_t>(local.tm_min);
  t->second = static_cast<uint32_t>(local.tm_sec);
  t->weekday = static_cast<uint32_t>(local.tm_wday);
  return 0;
}

int OsSleep(uint32_t ms) {
  termsim::SleepMs(ms);
  return 0;
}

// A PC does not sleep on the program's behalf.
int OsSysSleepEx(int /*mode*/) { return 0; }
