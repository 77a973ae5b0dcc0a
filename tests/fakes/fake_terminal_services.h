// Fake terminal services for unit tests: a virtual clock, in-memory properties,
// settable power source and scripted peers on the ports.
//
// Time only moves when a test or the code under test makes it move: OsSleep(ms) and
// an OsPortRecv that brings nothing advance the virtual clock by their ms at once, so
// a 15 s time-out or a 10 minute interval costs no real time. Safe to use from
// several threads (the code under test may run a worker or monitor thread).
#ifndef TESTS_FAKES_FAKE_TERMINAL_SERVICES_H
#define TESTS_FAKES_FAKE_TERMINAL_SERVICES_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/terminal_services.h"

namespace test {

// The far end of a fake port. Called with the fake's lock released, from whichever
// thread calls OsPortSend / OsPortRecv.
class PortPeer {
 public:
  virtual ~PortPeer() = default;
  // Bytes the terminal sent.
  virtual void OnSend(const uint8_t* data, size_t len) = 0;
  // Bytes to hand to the terminal now (at most len); 0 when the peer has nothing
  // yet (the fake then advances the clock by the poll's ms), negative for a port error.
  virtual int OnRecv(uint8_t* buf, size_t len) = 0;
};

// Everything back to defaults: ticks 0, time 2017-10-14 12:00:00, no properties,
// battery power (source 3, level 0), no peers, no port open, empty call log.
void Reset();

// Virtual clock (milliseconds; wraps like the terminal's counter).
uint32_t Ticks();
void SetTicks(uint32_t ms);
void Advance(uint32_t ms);
// Calendar time returned by OsGetTime (does not follow the ticks).
void SetTime(const TerminalTime& t);

// Properties, as stored; a key absent from the map reads as "".
std::map<std::string, std::string> Properties();
void SetProperty(const std::string& key, const std::string& value);
// Makes OsRegGetValue fail (return -1) without touching the caller's buffer.
void FailPropertyReads(bool fail);

// Power source and battery level returned by OsCheckPowerSupply / OsCheckBattery.
void SetPowerSupply(int source);
void SetBatteryLevel(int level);
int PowerSupplyChecks();  // OsCheckPowerSupply calls so far
int SleepExCalls();      // OsSysSleepEx calls so far
int LastSleepExMode();
int LastBrightness();    // last OsScrBrightness level, -1 before any

// Ports. The peer is not owned; null detaches it (then receives bring nothing).
void SetPeer(int port, PortPeer* peer);
// Makes OsPortOpen of this port return the given error (0 restores success).
void FailPortOpen(int port, int error);
// Makes OsPortSend fail from the n-th send on (1-based; 0 never fails).
void FailPortSendFrom(int port, int n);
bool PortIsOpen(int port);
int PortOpenCount(int port);
std::string PortAttr(int port);   // attributes of the last open

// Every service call that has an effect outside the process, in order, e.g.
// "RegGet persist.sys.xcb.enable", "RegSet persist.sys.xcb.enable=0",
// "PortOpen 11 115200,8,n,1", "PortReset 11", "PortClose 11", "Sleep 500".
// Port sends and receives, ticks and power calls are not logged.
std::vector<std::string> CallLog();

}  // namespace test

#endif
