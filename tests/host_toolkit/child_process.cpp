#include "tests/host_toolkit/child_process.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace test {

ChildRun RunChild(const std::string& path, const std::vector<std::string>& extraEnv,
                  const std::string& input) {
  ChildRun run;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return run;
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; ++entry) envStrings.emplace_back(*entry);
  for (const std::string& extra : extraEnv) envStrings.push_back(extra);
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(&entry[0]);
  envp.push_back(nullptr);
  std::string program = path;
  char* argv[] = {&program[0], nullptr};

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return run;
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    execve(argv[0], argv, envp.data());
    _exit(127);
  }
  run.started = true;
  close(in[0]);
  close(out[1]);
  close(err[1]);
  std::signal(SIGPIPE, SIG_IGN);

  size_t sent = 0;
  int toChild = in[1];
  if (input.empty()) {
    close(toChild);
    toChild = -1;
  }
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    pollfd fds[3] = {{outOpen ? out[0] : -1, POLLIN, 0},
                     {errOpen ? err[0] : -1, POLLIN, 0},
                     {toChild, POLLOUT, 0}};
    if (poll(fds, 3, 60000) <= 0) break;  // a hung child: give up after a minute
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        (i == 0 ? outOpen : errOpen) = false;
      }
    }
    if (toChild >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t written = write(toChild, input.data() + sent, input.size() - sent);
      if (written > 0) sent += static_cast<size_t>(written);
      if (written < 0 || sent == input.size()) {
        close(toChild);
        toChild = -1;
      }
    }
  }
  if (toChild >= 0) close(toChild);
  close(out[0]);
  close(err[0]);
  if (outOpen || errOpen) kill(pid, SIGKILL);
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  run.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace test
