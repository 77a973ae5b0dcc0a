// A battery bench scenario: any text. What is accepted comes in time order, within the
// longest time a scenario may give, with charges of 0 to 100 %.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/power_sim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<termsim::BenchEvent> events;
  std::string error;
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!termsim::ParseScenario(text, &events, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (size_t i = 0; i < events.size(); i++) {
    if (events[i].atMs > 100000ull * 3600000 || (i > 0 && events[i].atMs < events[i - 1].atMs) ||
        events[i].percent < 0 || events[i].percent > 100) {
      std::abort();
    }
  }
  return 0;
}
