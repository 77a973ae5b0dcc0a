#include "host/power_sim/battery_bench.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "host/common/host_clock.h"

namespace termsim {
namespace {

// The bench looks at its battery every second of the program's time, but at most every
// 20 ms of real time however fast the time scale runs.
constexpr uint64_t kUpdateMs = 1000;
constexpr uint64_t kMinUpdateRealMs = 20;

// Writes a file whole: a new file under a temporary name, then renamed over the old. The
// temporary name is made anew (O_EXCL, no link followed): what stood there, a file left
// by a run that ended or a link planted by another user, is removed, never written into.
bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  unlink(temp.c_str());
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

// Makes the directory, or takes the one there if it is a directory of this user's and no
// link: the files in it are written by a program that may run as root.
bool OwnDirectory(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();  // else lstat follows a link
  if (mkdir(path.c_str(), 0755) == 0) return true;
  struct stat status;
  if (errno != EEXIST || lstat(path.c_str(), &status) != 0) return false;
  if (!S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
    errno = S_ISDIR(status.st_mode) ? EPERM : ENOTDIR;
    return false;
  }
  return true;
}

[[noreturn]] void Refuse(const char* variable, const std::string& value, const std::string& why) {
  std::fprintf(stderr, "termsim: %s=%s: %s\n", variable, value.c_str(), why.c_str());
  std::exit(2);
}

BatteryBench* gBench = nullptr;

}  // namespace

void ToggleBenchMains() {
  if (gBench != nullptr) gBench->ToggleMains();
}

BatteryBench::BatteryBench(std::string dir, std::vector<BenchEvent> events, uint64_t startMs)
    : dir_(std::move(dir)), events_(std::move(events)), startMs_(startMs), nowMs_(startMs) {}

void BatteryBench::Advance(uint64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  while (nextEvent_ < events_.size() && startMs_ + events_[nextEvent_].atMs <= nowMs) {
    const BenchEvent& event = events_[nextEvent_++];
    const uint64_t at = startMs_ + event.atMs;
    if (at > nowMs_) {
      battery_.Step(at - nowMs_);
      nowMs_ = at;
    }
    switch (event.kind) {
      case BenchEvent::kPlug: battery_.SetMains(true); break;
      case BenchEvent::kUnplug: battery_.SetMains(false); break;
      case BenchEvent::kCharge: battery_.SetCharge(event.percent); break;
    }
  }
  if (nowMs > nowMs_) {
    battery_.Step(nowMs - nowMs_);
    nowMs_ = nowMs;
  }
}

void BatteryBench::ToggleMains() {
  std::lock_guard<std::mutex> lock(mutex_);
  battery_.SetMains(!battery_.Mains());
}

SimBatteryReading BatteryBench::Read() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return battery_.Read();
}

bool BatteryBench::WriteFiles() const {
  const SimBatteryReading r = Read();
  const std::string battery = dir_ + "/battery/";
  const std::string mains = dir_ + "/Mains/";
  if (!OwnDirectory(battery) || !OwnDirectory(mains)) return false;
  const std::pair<std::string, std::string> files[] = {
      {battery + "type", "Battery\n"},
      {battery + "present", "1\n"},
      {battery + "voltage_max", std::to_string(SimBattery::kVoltageMaxUv) + "\n"},
      {battery + "voltage_min", std::to_string(SimBattery::kVoltageMinUv) + "\n"},
      {battery + "voltage_now", std::to_string(r.voltageNowUv) + "\n"},
      {battery + "capacity", std::to_string(r.capacityPercent) + "\n"},
      {battery + "status", std::string(r.status) + "\n"},
      {mains + "type", "Mains\n"},
      {mains + "online", r.mainsOnline ? "1\n" : "0\n"}};
  bool all = true;
  for (const auto& file : files) all = WriteWhole(file.first, file.second) && all;
  return all;
}

bool StartBatteryBenchFromEnvironment() {
  const char* dir = std::getenv("TERMSIM_BATTERY_SIM");
  if (dir == nullptr || dir[0] == '\0') return false;
  std::vector<BenchEvent> events;
  const char* scenario = std::getenv("TERMSIM_BATTERY_SCENARIO");
  if (scenario != nullptr && scenario[0] != '\0') {
    std::string error;
    if (!ReadScenarioFile(scenario, &events, &error)) {
      Refuse("TERMSIM_BATTERY_SCENARIO", scenario, error);
    }
  }
  gBench = new BatteryBench(dir, events, ProgramMs());
  gBench->Advance(ProgramMs());
  if (!gBench->WriteFiles()) {
    Refuse("TERMSIM_BATTERY_SIM", dir, std::string("cannot write there: ") + std::strerror(errno));
  }
  std::thread([] {
    for (;;) {
      SleepRealMs(RealMsFor(kUpdateMs, kMinUpdateRealMs));
      gBench->Advance(ProgramMs());
      gBench->WriteFiles();
    }
  }).detach();
  return true;
}

}  // namespace termsim
