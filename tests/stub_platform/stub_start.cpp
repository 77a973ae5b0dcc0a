// The stub platform's start of a program: the host shell sets the toolkit up before
// main, as the terminal's own libraries do for a program on the terminal. Installed as
// an object file of its own, linked before the library, so that it is linked although
// nothing calls it.
#include "host/program/shell.h"

namespace {

struct StubStart {
  StubStart() { termsim::StartHostShell(); }
} gStubStart;

}  // namespace
