// The stand-in for poll(). It is defined here, in the test program, so the services
// linked into it call this one; it counts and hands over to the next definition, the
// C library's (or a sanitizer's, which then calls the C library's). <poll.h> is not
// included: with _FORTIFY_SOURCE it defines an inline poll() of its own.
#include "tests/host_services/poll_count.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

struct pollfd;
using nfds_t = unsigned long int;  // NOLINT: as <sys/poll.h> has it on every Linux target

namespace {

thread_local bool t_counting = false;
thread_local int t_calls = 0;

using PollFunction = int (*)(pollfd*, nfds_t, int);

PollFunction RealPoll() {
  static const PollFunction real = [] {
    auto found = reinterpret_cast<PollFunction>(dlsym(RTLD_NEXT, "poll"));
    if (found == nullptr) {
      std::fprintf(stderr, "poll_count: no poll() after the test program's\n");
      std::abort();
    }
    return found;
  }();
  return real;
}

}  // namespace

extern "C" int poll(pollfd* fds, nfds_t count, int timeout) {
  if (t_counting) ++t_calls;
  return RealPoll()(fds, count, timeout);
}

namespace test {

PollCount::PollCount() {
  t_calls = 0;
  t_counting = true;
}

PollCount::~PollCount() { t_counting = false; }

int PollCount::Calls() const { return t_calls; }

}  // namespace test
