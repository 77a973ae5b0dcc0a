// One line of a battery log, as the report parses it: any bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/report/log_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  report::Reading reading;
  std::string_view line(reinterpret_cast<const char*>(data), size);
  if (report::ParseLogLine(line, &reading).empty()) {
    if (reading.linearPercent > 100 || reading.filteredPercent > 100 ||
        !report::IsValidCivil(report::ToCivil(reading.time))) {
      std::abort();  // a line taken as valid with values no log line has
    }
  }
  return 0;
}
