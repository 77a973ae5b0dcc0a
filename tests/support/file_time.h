// Files stamped as a wrong clock leaves them: modified in 2100, past the end of a 32-bit
// time_t. The stamp is set by the system's touch, so that a test built with a 32-bit
// time_t can still make such a file (it could not name the time itself).
#ifndef TESTS_SUPPORT_FILE_TIME_H
#define TESTS_SUPPORT_FILE_TIME_H

#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace test {

// 2100-01-01 00:00:00 UTC.
constexpr const char* AFTER_2038 = "@4102444800";

// Sets the modification time of `path` to AFTER_2038; true if touch did.
inline bool StampAfter2038(const std::string& path) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    execlp("touch", "touch", "-m", "-d", AFTER_2038, "--", path.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace test

#endif  // TESTS_SUPPORT_FILE_TIME_H
