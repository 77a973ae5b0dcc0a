// battest-simlog DIR: writes two made-up terminals' battery logs into DIR, named as
// uploads, for trying the report (the README's example picture comes from them).
//   r_TM-7_202603021830.txt  a kernel in µV: 4 h on battery, 2 h on external power,
//                            then on battery down to about 15 %
//   r_TM-5_202603052330.txt  a kernel in mV, three days later, on battery to empty: the
//                            clock is set an hour forward 8 h into the log
#include <cstdio>
#include <string>

#include "tools/report/simulated_log.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("Usage: battest-simlog DIR\n", stderr);
    return 2;
  }
  const std::string dir = argv[1];
  using report::LithiumShape;

  report::LogSimulator tm7(report::ToSeconds({2026, 3, 2, 8, 0, 0}), 4200000, 3400000);
  tm7.SetNoise(1500);
  auto tm7Volts = [](double h) { return 3400000 + 790000 * LithiumShape(h / 10.5); };
  tm7.Discharge(4, tm7Volts);
  tm7.ExternalPower(2);
  tm7.Discharge(5.5, [&](double h) { return tm7Volts(h + 4); });

  report::LogSimulator tm5(report::ToSeconds({2026, 3, 5, 9, 30, 0}), 4150, 3350);
  tm5.SetNoise(2);
  auto tm5Volts = [](double h) { return 3350 + 795 * LithiumShape(h / 13); };
  tm5.Discharge(8, tm5Volts);
  tm5.SetClock(3600);
  tm5.Discharge(5, [&](double h) { return tm5Volts(h + 8); });

  bool ok = tm7.Save(dir + "/r_TM-7_202603021830.txt") && tm5.Save(dir + "/r_TM-5_202603052330.txt");
  if (!ok) std::fprintf(stderr, "battest-simlog: cannot write in %s\n", dir.c_str());
  return ok ? 0 : 1;
}
