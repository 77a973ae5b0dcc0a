// Ticks, calendar time, sleep and sleep control on the host, on the program's time
// (host/common/host_clock.h).
#include <cerrno>
#include <ctime>

#include "host/services/linux_services.h"
#include "host/common/host_clock.h"
#include "host/services/port_trace.h"
#include "platform/terminal_services.h"

// The program's time: real time, run faster by the time scale when one is set.
uint32_t OsGetTickCount() { return static_cast<uint32_t>(termsim::ProgramMs()); }

int OsGetTime(TerminalTime* t) {
  if (t == nullptr) return -EINVAL;
  const time_t now = termsim::ProgramCalendarTime();
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
  termsim::PortTracePause(ms);
  termsim::SleepProgramMs(ms);
  return 0;
}

// A PC does not sleep on the program's behalf.
int OsSysSleepEx(int /*mode*/) { return 0; }
