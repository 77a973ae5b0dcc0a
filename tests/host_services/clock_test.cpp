// Ticks, calendar time and sleep of the host services.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <ctime>
#include <type_traits>

#include "host/services/linux_services.h"
#include "platform/terminal_services.h"
#include "tests/host_services/test_support.h"

namespace {

static_assert(std::is_same<decltype(OsGetTickCount()), uint32_t>::value,
              "ticks are unsigned 32-bit");

TEST(Ticks, ConvertMonotonicTimeToMilliseconds) {
  EXPECT_EQ(termsim::TicksFromTimespec(timespec{1, 999999999}), 1999u);
  EXPECT_EQ(termsim::TicksFromTimespec(timespec{12, 345000000}), 12345u);
}

TEST(Ticks, WrapAfterTwoToTheThirtyTwoMilliseconds) {
  // 2^32 ms = 4294967 s + 296 ms.
  EXPECT_EQ(termsim::TicksFromTimespec(timespec{4294967, 295000000}), 0xFFFFFFFFu);
  EXPECT_EQ(termsim::TicksFromTimespec(timespec{4294967, 296000000}), 0u);
  EXPECT_EQ(termsim::TicksFromTimespec(timespec{4294967, 297500000}), 1u);
  // Elapsed time across the wrap still comes out right in unsigned arithmetic.
  const uint32_t before = termsim::TicksFromTimespec(timespec{4294967, 290000000});
  const uint32_t after = termsim::TicksFromTimespec(timespec{4294967, 310000000});
  EXPECT_EQ(static_cast<uint32_t>(after - before), 20u);
}

TEST(Ticks, NeverGoBackAndFollowASleep) {
  uint32_t last = OsGetTickCount();
  for (int i = 0; i < 1000; ++i) {
    const uint32_t now = OsGetTickCount();
    // A step back shows as an unsigned difference of almost 2^32.
    ASSERT_LT(static_cast<uint32_t>(now - last), static_cast<uint32_t>(testsupport::kNoHangMs))
        << "went back from " << last << " to " << now;
    last = now;
  }
  const uint32_t start = OsGetTickCount();
  OsSleep(30);
  const uint32_t elapsed = OsGetTickCount() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, static_cast<uint32_t>(testsupport::kNoHangMs));
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
  testsupport::Stopwatch watch;
  EXPECT_EQ(OsSleep(150), 0);
  const int64_t elapsed = watch.ElapsedMs();
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GT(g_signals.load(), 0);
  EXPECT_GE(elapsed, 150);
}

TEST(CalendarTime, IsTheLocalTimeWithFourDigitYearAndMonthFromOne) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const time_t before = time(nullptr);
    TerminalTime t{};
    ASSERT_EQ(OsGetTime(&t), 0);
    if (time(nullptr) != before) continue;  // crossed a second: try again
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
    testsupport::ScopedEnv tz("TZ", "UTC-3");  // three hours east of UTC
    tzset();
    const time_t now = time(nullptr);
    OsGetTime(&t);
    gmtime_r(&now, &utc);
  }
  tzset();
  if (utc.tm_min == 59 && utc.tm_sec == 59) GTEST_SKIP() << "too close to the hour";
  EXPECT_EQ(t.hour, static_cast<uint32_t>((utc.tm_hour + 3) % 24));
}

}  // namespace
