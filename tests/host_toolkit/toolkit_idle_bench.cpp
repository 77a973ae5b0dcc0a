// Processor time of a program idling in the toolkit's modal loop: runs the demo program
// in script mode through a 2 s wait and prints the child's user + system time.
#include <cstdio>

#include "tests/host_toolkit/child_process.h"

int main() {
  const double waitSeconds = 2.0;
  const test::ChildRun run =
      test::RunChild(TOOLKIT_DEMO, {"TERMSIM_DISPLAY=script"}, "wait 2000\nscreen\n");
  if (!run.started || run.status != 0) {
    std::fprintf(stderr, "the demo program did not run (status %d)\n", run.status);
    return 1;
  }
  std::printf("idle wait: %.1f s, run time %.3f s, processor time %.4f s (%.2f%% of one core)\n",
              waitSeconds, run.wallSeconds, run.cpuSeconds, 100.0 * run.cpuSeconds / run.wallSeconds);
  return 0;
}
