// Runs a program with a given standard input and collects its output, exit status,
// run time and processor time.
#ifndef TESTS_HOST_TOOLKIT_CHILD_PROCESS_H
#define TESTS_HOST_TOOLKIT_CHILD_PROCESS_H

#include <string>
#include <vector>

namespace test {

struct ChildRun {
  bool started = false;
  bool exited = false;  // ended by exit (not by a signal)
  int status = -1;      // its exit status
  std::string out;
  std::string err;
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system time of the child
};

// Runs path with the environment plus extra ("NAME=value" entries), feeding input on
// standard input and closing it after the last byte.
ChildRun RunChild(const std::string& path, const std::vector<std::string>& extraEnv,
                  const std::string& input);

}  // namespace test

#endif
