#include "tests/fakes/fake_terminal_services.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// Call log entries kept at most; a runaway loop must not eat the test's memory.
constexpr size_t kMaxLogEntries = 10000;

struct Port {
  test::PortPeer* peer = nullptr;
  bool open = false;
  int openCount = 0;
  int openError = 0;
  int sendCount = 0;
  int failSendFrom = 0;
  std::string attr;
};

struct State {
  std::mutex mutex;
  TerminalTime time{};
  std::map<std::string, std::string> properties;
  bool failPropertyReads = false;
  int powerSupply = 3;
  int batteryLevel = 0;
  int powerSupplyChecks = 0;
  int sleepExCalls = 0;
  int lastSleepExMode = -1;
  int lastBrightness = -1;
  std::map<int, Port> ports;
  std::vector<std::string> log;
};

std::atomic<uint32_t> g_ticks{0};

State& S() {
  static State state;
  return state;
}

void LogLocked(State& s, std::string entry) {
  if (s.log.size() < kMaxLogEntries) s.log.push_back(std::move(entry));
}

TerminalTime DefaultTime() {
  TerminalTime t{};
  t.year = 2017;
  t.month = 10;
  t.day = 14;
  t.hour = 12;
  t.minute = 0;
  t.second = 0;
  t.weekday = 6;
  return t;
}

}  // namespace

namespace test {

void Reset() {
  State& s = S();
  std::lock_guard<std::mutex> lock(s.mutex);
  g_ticks.store(0);
  s.time = DefaultTime();
  s.properties.clear();
  s.failPropertyReads = false;
  s.powerSupply = 3;
  s.batteryLevel = 0;
  s.powerSupplyChecks = 0;
  s.sleepExCalls = 0;
  s.lastSleepExMode = -1;
  s.lastBrightness = -1;
  s.ports.clear();
  s.log.clear();
}

uint32_t Ticks() { return g_ticks.load(); }
void SetTicks(uint32_t ms) { g_ticks.store(ms); }
void Advance(uint32_t ms) { g_ticks.fetch_add(ms); }

void SetTime(const TerminalTime& t) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().time = t;
}

std::map<std::string, std::string> Properties() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().properties;
}

void SetProperty(const std::string& key, const std::string& value) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().properties[key] = value;
}

void FailPropertyReads(bool fail) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().failPropertyReads = fail;
}

void SetPowerSupply(int source) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().powerSupply = source;
}

void SetBatteryLevel(int level) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().batteryLevel = level;
}

int PowerSupplyChecks() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().powerSupplyChecks;
}

int SleepExCalls() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().sleepExCalls;
}

int LastSleepExMode() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().lastSleepExMode;
}

int LastBrightness() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().lastBrightness;
}

void SetPeer(int port, PortPeer* peer) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().ports[port].peer = peer;
}

void FailPortOpen(int port, int error) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().ports[port].openError = error;
}

void FailPortSendFrom(int port, int n) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().ports[port].failSendFrom = n;
}

bool PortIsOpen(int port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().ports[port].open;
}

int PortOpenCount(int port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().ports[port].openCount;
}

std::string PortAttr(int port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().ports[port].attr;
}

std::vector<std::string> CallLog() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().log;
}

}  // namespace test

// The services themselves, as the code under test sees them.

uint32_t OsGetTickCount() { return g_ticks.load(); }

int OsGetTime(TerminalTime* t) {
  std::lock_guard<std::mutex> lock(S().mutex);
  *t = S().time;
  return 0;
}

int OsSleep(uint32_t ms) {
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    LogLocked(S(), "Sleep " + std::to_string(ms));
  }
  g_ticks.fetch_add(ms);
  std::this_thread::yield();
  return 0;
}

int OsRegGetValue(const char* key, char* value) {
  std::lock_guard<std::mutex> lock(S().mutex);
  LogLocked(S(), std::string("RegGet ") + key);
  if (S().failPropertyReads) return -1;
  auto it = S().properties.find(key);
  std::string v = it == S().properties.end() ? std::string() : it->second;
  size_t n = v.size() < OS_REG_VALUE_SIZE - 1 ? v.size() : OS_REG_VALUE_SIZE - 1;
  std::memcpy(value, v.data(), n);
  value[n] = '\0';
  return 0;
}

int OsRegSetValue(const char* key, const char* value) {
  std::lock_guard<std::mutex> lock(S().mutex);
  LogLocked(S(), std::string("RegSet ") + key + "=" + value);
  S().properties[key] = value;
  return 0;
}

int OsPortOpen(int port, const char* attr) {
  std::lock_guard<std::mutex> lock(S().mutex);
  LogLocked(S(), "PortOpen " + std::to_string(port) + " " + attr);
  Port& p = S().ports[port];
  if (p.openError != 0) return p.openError;
  if (p.open) return -16;  // busy
  p.open = true;
  p.openCount++;
  p.sendCount = 0;
  p.attr = attr;
  return 0;
}

int OsPortClose(int port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  LogLocked(S(), "PortClose " + std::to_string(port));
  Port& p = S().ports[port];
  if (!p.open) return -1;
  p.open = false;
  return 0;
}

int OsPortReset(int port) {
  std::lock_guard<std::mutex> lock(S().mutex);
  LogLocked(S(), "PortReset " + std::to_string(port));
  return S().ports[port].open ? 0 : -1;
}

int OsPortSend(int port, const void* data, uint32_t len) {
  test::PortPeer* peer;
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    Port& p = S().ports[port];
    if (!p.open) return -1;
    p.sendCount++;
    if (p.failSendFrom != 0 && p.sendCount >= p.failSendFrom) return -5;
    peer = p.peer;
  }
  if (peer != nullptr) peer->OnSend(static_cast<const uint8_t*>(data), len);
  return 0;
}

int OsPortRecv(int port, void* buf, uint32_t len, uint32_t ms) {
  test::PortPeer* peer;
  {
    std::lock_guard<std::mutex> lock(S().mutex);
    Port& p = S().ports[port];
    if (!p.open) return -1;
    peer = p.peer;
  }
  int n = peer != nullptr ? peer->OnRecv(static_cast<uint8_t*>(buf), len) : 0;
  if (n == 0) {
    g_ticks.fetch_add(ms);
    std::this_thread::yield();
  }
  return n;
}

int OsCheckPowerSupply() {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().powerSupplyChecks++;
  return S().powerSupply;
}

int OsCheckBattery() {
  std::lock_guard<std::mutex> lock(S().mutex);
  return S().batteryLevel;
}

int OsScrBrightness(int level) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().lastBrightness = level;
  return 0;
}

int OsSysSleepEx(int mode) {
  std::lock_guard<std::mutex> lock(S().mutex);
  S().sleepExCalls++;
  S().lastSleepExMode = mode;
  return 0;
}
