// Waiting for another thread to reach a state, with a bound: a regression that never
// reaches it fails within seconds, saying what was awaited, instead of hanging until
// CTest kills the test.
#ifndef TESTS_SUPPORT_WAIT_UNTIL_H
#define TESTS_SUPPORT_WAIT_UNTIL_H

#include <chrono>
#include <thread>

namespace test {

// Far above what any state takes on a busy machine, under the sanitizers or the
// emulator; far below CTest's time-out.
constexpr std::chrono::milliseconds kWaitLimit{20000};

enum class Look { kYielding, kSpinning };

// True once done() holds; false when limit has passed first. Looks again after giving
// up the processor, or at once (kSpinning: for a test that must see a state the moment
// it comes).
template <class Done>
bool WaitUntil(Done done, Look look = Look::kYielding,
               std::chrono::milliseconds limit = kWaitLimit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (look == Look::kYielding) std::this_thread::yield();
  }
  return true;
}

}  // namespace test

#endif
