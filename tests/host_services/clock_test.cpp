// Ticks, calendar time and sleep of the host services.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <thread>
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
    ASSERT_LT(static_cast<uint32_t>(now - last), 1000u) << "went back from " << last << " to " << now;
    last = now;
  }
  const uint32_t start = OsGetTickCount();
  OsSleep(30);
  const uint32_t elapsed = OsGetTickCount() - start;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 1000u);
}

std::atomic<int> g_signals{0};
void CountSignal(int) { g_signals.fetch_add(1); }

TEST(Sleep, LastsItsTimeThoughSignalsInterruptIt) {
  struct sigaction action {};
  action.sa_handler = CountSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: nanosleep returns EINTR
  struct sigaction old {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &old), 0);
  const pthread_t sleeper = pthread_self();
  std::atomic<bool> done{false};
  std::thread interrupter([&] {
    while (!done.load()) {
      pthread_kill(sleeper, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  testsupport::Stopwatch watch;
  EXPECT_EQ(OsSleep(150), 0);
  const int64_t elapsed = watch.ElapsedMs();
  done.store(true);
  interrupter.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_GT(g_signals.load(), 3);
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
