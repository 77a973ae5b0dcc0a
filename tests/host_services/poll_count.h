// Counts the poll() calls the calling thread makes, by standing in for the C library's
// poll() in the test program: a deterministic measure of how a wait is made (one poll
// for the whole wait, or a busy loop of them), whatever the machine's load.
#ifndef TESTS_HOST_SERVICES_POLL_COUNT_H
#define TESTS_HOST_SERVICES_POLL_COUNT_H

namespace test {

// Counts this thread's poll() calls while it lives.
class PollCount {
 public:
  PollCount();
  ~PollCount();
  PollCount(const PollCount&) = delete;
  PollCount& operator=(const PollCount&) = delete;
  int Calls() const;
};

}  // namespace test

#endif
