// The host services' one monotonic clock and sleep, inside the library.
#ifndef HOST_SERVICES_MONOTONIC_H
#define HOST_SERVICES_MONOTONIC_H

#include <cstdint>

namespace termsim {

// Milliseconds of CLOCK_MONOTONIC, not wrapped (the tick counter is its low 32 bits).
uint64_t MonotonicMs();
// Sleeps ms milliseconds, going on after signals.
void SleepMs(uint64_t ms);

}  // namespace termsim

#endif
