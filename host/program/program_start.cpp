// What the host platform does when a program on it starts, before main:
// - port 11's pseudo-terminal is made and its path printed before a display takes the
//   screen over, so that a receiver can be attached before the first upload; the
//   terminal display keeps saying where it is, with the command to receive;
// - the battery bench starts when the run asks for one (TERMSIM_BATTERY_SIM), with F2
//   among the host's keys to plug and unplug its mains;
// - from then on whatever ends the program removes what the host set up for it;
// - the host shell sets the toolkit up (the screen's size, the display, quitting).
// Linked into programs only, not into tests, which make the port when they need it.
#include <string>

#include "host/common/end_actions.h"
#include "host/power_sim/battery_bench.h"
#include "host/program/host_keys.h"
#include "host/program/shell.h"
#include "host/services/linux_services.h"

namespace {

void ShowWherePort11Is() {
  const std::string peer = termsim::Port11PeerPath();
  if (peer.empty()) return;  // a device named by TERMSIM_PORT11
  const std::string link = termsim::Port11Link();
  const std::string path = link.empty() ? peer : link;
  termsim::SetHostNote("Port 11: " + peer + "  rb <" + path + " >" + path);
}

struct ProgramStart {
  ProgramStart() {
    termsim::RunEndActionsOnFatalSignals();
    ShowWherePort11Is();
    if (termsim::StartBatteryBenchFromEnvironment()) {
      termsim::AddHostKey(2, "mains", termsim::ToggleBenchMains);
    }
    termsim::StartHostShell();
  }
} gProgramStart;

}  // namespace
