// A file of the store of learnt curves, as a report reads it: any bytes. What it takes must
// be a curve the estimate can use (voltages that rise with the charge, a discharge's
// length), and must write and read back as it was; the model's file name is never a path.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/report/curve_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string model, error;
  std::vector<report::LearntDischarge> curves;
  if (!report::ParseCurveFile(text, &model, &curves, &error)) {
    if (error.empty()) std::abort();  // refused without saying why
    return 0;
  }
  const std::string name = report::CurveFileName(model);
  if (model.empty() || name.size() > 200 || name[0] == '.' || name.find('/') != std::string::npos) {
    std::abort();
  }
  for (const report::LearntDischarge& d : curves) {
    if (!d.curve.known || !(d.curve.hours > 0) || d.last <= d.first) std::abort();
    for (int k = 1; k < report::LEARNT_POINTS; k++) {
      if (!(d.curve.volts[k] > d.curve.volts[k - 1]) || !std::isfinite(d.curve.volts[k]))
        std::abort();
    }
  }
  std::string again;
  std::vector<report::LearntDischarge> back;
  if (!report::ParseCurveFile(report::FormatCurveFile(model, curves), &again, &back, &error) ||
      again != model || back.size() != curves.size()) {
    std::abort();
  }
  return 0;
}
