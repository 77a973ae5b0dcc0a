// The power-supply class files as the monitor and the host services read them: the
// input is split at NUL bytes into the contents of the files below, written into a
// made-up class directory. The source is one of 0 to 3 and the level one the services
// know; the monitor's value reader takes any contents.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "battery/battery_monitor.h"
#include "host/services/linux_services.h"

namespace {

const char* const FILES[] = {"battery/voltage_now", "battery/type",    "battery/present",
                             "battery/capacity",    "battery/status",  "Mains/type",
                             "Mains/online",        "usb/type",        "usb/online"};

struct ClassDir {
  ClassDir() {
    char pattern[] = "/tmp/power-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    root = pattern;
    for (const char* dir : {"/battery", "/Mains", "/usb"}) mkdir((root + dir).c_str(), 0700);
  }
  ~ClassDir() {
    for (const char* file : FILES) unlink((root + "/" + file).c_str());
    for (const char* dir : {"/battery", "/Mains", "/usb", ""}) rmdir((root + dir).c_str());
  }
  std::string root;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ClassDir dir;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (const char* file : FILES) {
    size_t nul = input.find('\0');
    std::string_view contents = input.substr(0, nul);
    input.remove_prefix(nul == std::string_view::npos ? input.size() : nul + 1);
    std::FILE* f = std::fopen((dir.root + "/" + file).c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::fclose(f);
  }
  int32_t value = 0;
  ReadKernelValue((dir.root + "/battery/voltage_now").c_str(), &value);
  int source = termsim::PowerSourceIn(dir.root);
  int level = termsim::BatteryLevelIn(dir.root);
  if (source < 0 || source > 3 || level < 0 || level > 6) std::abort();
  return 0;
}
