// The host's clocks. Real time is CLOCK_MONOTONIC. The program's time (its ticks, its
// calendar clock, its sleeps, the toolkit's idle cadence) is real time run faster by
// the time scale, TERMSIM_TIME_SCALE (a whole number, 1 by default), so that a battery
// bench shows hours in minutes. While a line to a peer is open the program's time runs
// at the real rate: the peer (a receiver such as rb) answers in real time, and the
// protocol's waits must not shrink below what it needs.
#ifndef HOST_COMMON_HOST_CLOCK_H
#define HOST_COMMON_HOST_CLOCK_H

#include <cstdint>
#include <ctime>
#include <string>

namespace termsim {

// Milliseconds of CLOCK_MONOTONIC.
uint64_t RealMs();
// Sleeps ms of real time, going on after signals.
void SleepRealMs(uint64_t ms);

// The time scale in force; read from TERMSIM_TIME_SCALE at the first use of the
// program's time. A malformed or absurd value ends the program with a message.
int TimeScale();
constexpr int kMaxTimeScale = 100000;
// Reads a time scale: "" and the scale, or what is wrong with the text.
std::string ParseTimeScale(const char* text, int* scale);
// Sets the time scale from now on (tests; the program takes TERMSIM_TIME_SCALE).
void SetTimeScale(int scale);

// Milliseconds of the program's time, from an arbitrary start; never goes back.
uint64_t ProgramMs();
// The program's calendar time: the real calendar time when the program's time began,
// plus the program's time since.
time_t ProgramCalendarTime();
// The real milliseconds that ms of the program's time take now, but at least floorMs
// (so that a large scale cannot make a wait a busy loop).
uint64_t RealMsFor(uint64_t programMs, uint64_t floorMs);
// Sleeps ms of the program's time (at least 1 ms of real time).
void SleepProgramMs(uint64_t ms);

// Program time runs at the real rate from the first hold until the last release.
void HoldRealRate();
void ReleaseRealRate();

}  // namespace termsim

#endif
