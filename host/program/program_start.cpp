// What the host platform does when a program on it starts, before main: port 11's
// pseudo-terminal is made and its path printed before a display takes the screen
// over, so that a receiver can be attached before the first upload; and from then on
// whatever ends the program removes what the host set up for it (see end_actions.h).
// Linked into programs only, not into tests, which make the port when they need it.
#include "host/common/end_actions.h"
#include "host/services/linux_services.h"

namespace {

struct ProgramStart {
  ProgramStart() {
    termsim::RunEndActionsOnFatalSignals();
    termsim::Port11PeerPath();
  }
} gProgramStart;

}  // namespace
