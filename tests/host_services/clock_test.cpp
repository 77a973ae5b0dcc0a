// Ticks, calendar time and sleep of the host services.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <ctime>
#include <type_traits>

#include "host/common/host_clock.h"
#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "tests/host_services/test_support.h"

namespace {

static_assert(std::is_same<decltype(OsGetTickCount()), uint32_t>::value,
              "ticks are unsigned 32-bit");

// Under a time scale the ticks, the calendar and the sleeps run that much faster, and
// at the real rate while a peer's line is open; the ticks never go back in between.
TEST(ProgramTime, RunsFasterByTheScaleAndAtTheRealRateWhileHeld) {
  termsim::SetTimeScale(1000);
  const uint32_t t0 = OsGetTickCount();
  const time_t c0 = termsim::ProgramCalendarTime();
  termsim::SleepRealMs(50);
  const uint32_t t1 = OsGetTickCount();
  EXPECT_GE(static_cast<uint32_t>(t1 - t0), 50000u);
  EXPECT_GE(termsim::ProgramCalendarTime() - c0, 49);
  termsim::HoldRealRate();
  const uint32_t t2 = OsGetTickCount();
  termsim::SleepRealMs(50);
  const uint32_t t3 = OsGetTickCount();
  termsim::ReleaseRealRate();
  EXPECT_LT(static_cast<uint32_t>(t2 - t1), 0x80000000u) << "went back at the hold";
  EXPECT_GE(static_cast<uint32_t>(t3 - t2), 50u);
  EXPECT_LT(static_cast<uint32_t>(t3 - t2), static_cast<uint32_t>(test::kNoHangMs))
      << "held at the real rate";
  test::Stopwatch watch;
  OsSleep(60000);
  EXPECT_GE(static_cast<uint32_t>(OsGetTickCount() - t3), 60000u);
  EXPECT_LT(watch.ElapsedMs(), test::kNoHangMs) << "a minute of the program's time";
  termsim::SetTimeScale(1);
}

// However fast the time scale, a sleep of the program's time sleeps at least 1 ms of real
// time, so that a loop of sleeps never turns into a busy loop.
TEST(ProgramTime, ASleepAtTheLargestScaleStillSleepsAMillisecond) {
  termsim::SetTimeScale(termsim::kMaxTimeScale);
  EXPECT_EQ(termsim::RealMsFor(50, 1), 1u);
  EXPECT_EQ(termsim::RealMsFor(500000, 1), 5u);
  for (int i = 0; i < 3; ++i) {
    timespec before{}, after{};
    clock_gettime(CLOCK_MONOTONIC, &before);
    termsim::SleepProgramMs(50);  // 0.5 us at this scale
    clock_gettime(CLOCK_MONOTONIC, &after);
    const long long ns = (after.tv_sec - before.tv_sec) * 1000000000LL + (after.tv_nsec - before.tv_nsec);
    EXPECT_GE(ns, 1000000LL);
  }
  termsim::SetTimeScale(1);
}

TEST(ProgramTime, MalformedOrAbsurdScalesAreRefused) {
  int scale = 7;
  EXPECT_EQ(termsim::ParseTimeScale("600", &scale), "");
  EXPECT_EQ(scale, 600);
  for (const char* bad : {"", "0", "-5", "1.5", "60x", " 60", "100001", "99999999999"}) {
    EXPECT_NE(termsim::ParseTimeScale(bad, &scale), "") << bad;
  }
  EXPECT_EQ(scale, 600);
}

TEST(Ticks, NeverGoBackAndFollowASleep) {
  uint32_t last = OsGetTickCount();
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = OsGetTickCount();
    // A step back shows as an unsigned difference of almost 2^32.
    ASSERT_LT(static_cast<uint32_t>(now - last), static_cast<uint32_t>(test::kNoHangMs))
        << "went back from " << last << " to " << now;
    last = now;
  }
  const uint32_t start = OsGetTickCount();
  OsSleep(30);
  const uint32_t elapsed = OsGetTickCount() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, static_cast<uint32_t>(test::kNoHangMs));
}

std::atomic<int> g_signals{0};
void CountSignal(int) { g_signals.fetch_add(1); }

// A timer of the kernel interrupts the sleep every 10 ms; the first signal comes well
// within it, whatever the scheduler does with this thread.
TEST(Sleep, LastsItsTimeThoughSignalsInterruptIt) {
  struct sigaction action {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: nanosleep returns EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &old), 0);
  const itimerval every10ms{{0, 10000}, {0, 10000}};
  ASSERT_EQ(setitimer(ITIMER_REAL, &every10ms, nullptr), 0);
  test::Stopwatch watch;
  EXPECT_EQ(OsSleep(150), 0);
  const int64_t elapsed = watch.ElapsedMs();
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GT(g_signals.load(), 0);
  EXPECT_GE(elapsed, 150);
}

// The program's calendar is the real one until a time scale has run it ahead (as the
// tests above do, when the tests run in one process): compared with the program's own.
TEST(CalendarTime, IsTheLocalTimeWithFourDigitYearAndMonthFromOne) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const time_t before = termsim::ProgramCalendarTime();
    TerminalTime t{};
    ASSERT_EQ(OsGetTime(&t), 0);
    if (termsim::ProgramCalendarTime() != before) continue;  // crossed a second: try again
    tm local{};
    localtime_r(&before, &local);
    EXPECT_EQ(t.year, static_cast<uint32_t>(local.tm_year + 1900));
    EXPECT_GE(t.year, 2000u);
    EXPECT_EQ(t.month, static_cast<uint32_t>(local.tm_mon + 1));
    EXPECT_EQ(t.day, static_cast<uint32_t>(local.tm_mday));
    EXPECT_EQ(t.hour, static_cast<uint32_t>(local.tm_hour));
    EXPECT_EQ(t.minute, static_cast<uint32_t>(local.tm_min));
    EXPECT_EQ(t.second, static_cast<uint32_t>(local.tm_sec));
    EXPECT_EQ(t.weekday, static_cast<uint32_t>(local.tm_wday));
    return;
  }
  FAIL() << "the clock crossed a second boundary three times in a row";
}

TEST(CalendarTime, FollowsTheTimeZone) {
  TerminalTime t{};
  tm utc{};
  {
    test::ScopedEnv tz("TZ", "UTC-3");  // three hours east of UTC
    tzset();
    const time_t now = termsim::ProgramCalendarTime();
    OsGetTime(&t);
    gmtime_r(&now, &utc);
  }
  tzset();
  if (utc.tm_min == 59 && utc.tm_sec == 59) GTEST_SKIP() << "too close to the hour";
  EXPECT_EQ(t.hour, static_cast<uint32_t>((utc.tm_hour + 3) % 24));
}

}  // namespace
